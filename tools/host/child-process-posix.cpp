#include "host/child-process.h"

#include <fcntl.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>

#include "host/pack-error.h"
#include "host/utf.h"

extern char** environ;

namespace onefile {
namespace {

constexpr char PATH_SEPARATOR = ':';

struct Descriptor {
  int value = -1;
  ~Descriptor() {
    if (value >= 0) close(value);
  }
};

struct SpawnActions {
  posix_spawn_file_actions_t actions;
  SpawnActions() { posix_spawn_file_actions_init(&actions); }
  ~SpawnActions() { posix_spawn_file_actions_destroy(&actions); }
};

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
    struct stat status;
    if (stat(candidate.c_str(), &status) == 0 && S_ISREG(status.st_mode) && access(candidate.c_str(), X_OK) == 0)
      return candidate;
  }
  return std::nullopt;
}

int runProgram(const std::filesystem::path& program, const std::vector<std::string>& arguments,
               const std::string& input, const std::filesystem::path& outputFile) {
  std::string shown = displayName(program.u8string());
  if (input.size() > CHILD_INPUT_LIMIT) throw PackError(shown, "its input is too long");
  // The input goes into the pipe before the child exists, so that a child
  // that never reads it cannot make the write fail or block.
  int ends[2];
  if (pipe2(ends, O_CLOEXEC) != 0) throw PackError(shown, std::string("cannot be started: ") + std::strerror(errno));
  Descriptor readEnd{ends[0]}, writeEnd{ends[1]};
  if (!input.empty() && write(writeEnd.value, input.data(), input.size()) != static_cast<ssize_t>(input.size()))
    throw PackError(shown, std::string("cannot be started: ") + std::strerror(errno));
  close(writeEnd.value);
  writeEnd.value = -1;

  SpawnActions spawn;
  posix_spawn_file_actions_adddup2(&spawn.actions, readEnd.value, STDIN_FILENO);
  posix_spawn_file_actions_addopen(&spawn.actions, STDOUT_FILENO, outputFile.c_str(), O_WRONLY | O_CREAT | O_TRUNC,
                                   0600);
  posix_spawn_file_actions_adddup2(&spawn.actions, STDOUT_FILENO, STDERR_FILENO);
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

const char* standardInputName() { return "/dev/stdin"; }

std::optional<std::string> environmentVariable(const std::string& name) {
  const char* value = std::getenv(name.c_str());
  if (value == nullptr) return std::nullopt;
  return std::string(value);
}

}  // namespace onefile
