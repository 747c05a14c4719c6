// The host's services on Linux and other POSIX systems.
#include "host/host-system.h"

#include <unistd.h>

#include <thread>

namespace onefile {

unsigned processorCount() {
  unsigned count = std::thread::hardware_concurrency();
  return count == 0 ? 1 : count;
}

bool isTerminal(std::FILE* stream) { return isatty(fileno(stream)) == 1; }

std::FILE* openForReading(const std::filesystem::path& path) { return std::fopen(path.c_str(), "rb"); }

std::FILE* openScratchFile(const std::filesystem::path& path) { return std::fopen(path.c_str(), "w+b"); }

std::vector<std::string> folderEntryNames(const std::filesystem::path& folder, std::error_code& error) {
  std::vector<std::string> names;
  for (std::filesystem::directory_iterator it(folder, error), end; !error && it != end; it.increment(error))
    names.push_back(it->path().filename().u8string());
  return names;
}

}  // namespace onefile
