#include "host/child-process.h"

#include <fcntl.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>

#include "host/command-words.h"
#include "host/pack-error.h"
#include "host/utf.h"

extern char** environ;

namespace onefile {
namespace {

constexpr char PATH_SEPARATOR = ':';

struct SpawnActions {
  posix_spawn_file_actions_t actions;
  SpawnActions() { posix_spawn_file_actions_init(&actions); }
  ~SpawnActions() { posix_spawn_file_actions_destroy(&actions); }
};

bool isRunnableFile(const std::filesystem::path& path) {
  struct stat status;
  return stat(path.c_str(), &status) == 0 && S_ISREG(status.st_mode) && access(path.c_str(), X_OK) == 0;
}

}  // namespace

std::optional<std::filesystem::path> findOnPath(const std::string& name) {
  const char* path = std::getenv("PATH");
  if (path == nullptr) return std::nullopt;
  std::string folders = path;
  for (size_t start = 0; start <= folders.size();) {
    size_t end = folders.find(PATH_SEPARATOR, start);
    if (end == std::string::npos) end = folders.size();
    std::string folder = folders.substr(start, end - start);
    start = end + 1;
    if (folder.empty()) continue;  // an empty entry means the current folder: not searched unasked
    std::filesystem::path candidate = std::filesystem::path(folder) / name;
    if (isRunnableFile(candidate)) return candidate;
  }
  return std::nullopt;
}

std::optional<std::filesystem::path> findCommand(const std::string& word) {
  if (word.find('/') == std::string::npos) return findOnPath(word);
  if (!isRunnableFile(word)) return std::nullopt;
  return std::filesystem::path(word);
}

std::string commandSafeFileName(const std::string& name) { return name; }

std::vector<std::string> splitCommandWords(const std::string& text) { return splitShellWords(text); }

int runProgram(const std::filesystem::path& program, const std::vector<std::string>& arguments,
               const std::filesystem::path& outputFile) {
  std::string shown = displayName(program.u8string());
  SpawnActions spawn;
  posix_spawn_file_actions_addopen(&spawn.actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
  posix_spawn_file_actions_addopen(&spawn.actions, STDOUT_FILENO, outputFile.c_str(), O_WRONLY | O_CREAT | O_TRUNC,
                                   0600);
  posix_spawn_file_actions_adddup2(&spawn.actions, STDOUT_FILENO, STDERR_FILENO);
  // Whatever the tool opened without close-on-exec (a program run at the same
  // time from another thread holds none of this one's files either).
  posix_spawn_file_actions_addclosefrom_np(&spawn.actions, STDERR_FILENO + 1);
  std::vector<std::string> argumentTexts{program.string()};
  argumentTexts.insert(argumentTexts.end(), arguments.begin(), arguments.end());
  std::vector<char*> argv;
  for (std::string& text : argumentTexts) argv.push_back(text.data());
  argv.push_back(nullptr);
  pid_t child;
  int error = posix_spawn(&child, program.c_str(), &spawn.actions, nullptr, argv.data(), environ);
  if (error != 0) throw PackError(shown, std::string("cannot be started: ") + std::strerror(error));
  int status = 0;
  while (waitpid(child, &status, 0) < 0)
    if (errno != EINTR) throw PackError(shown, std::string("cannot be waited for: ") + std::strerror(errno));
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

std::optional<std::string> environmentVariable(const std::string& name) {
  const char* value = std::getenv(name.c_str());
  if (value == nullptr) return std::nullopt;
  return std::string(value);
}

}  // namespace onefile
