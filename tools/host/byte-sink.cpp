#include "host/byte-sink.h"

#include <cctype>
#include <system_error>

#include "host/host-system.h"

namespace onefile {
namespace {

constexpr char PARTIAL_SUFFIX[] = ".partial-";
// What makes each name unique: mkstemp's six letters and digits on POSIX,
// six hexadecimal digits on Windows.
constexpr size_t PARTIAL_UNIQUE_CHARACTERS = 6;

bool isPartialOf(const std::string& name, const std::string& destinationName) {
  std::string prefix = destinationName + PARTIAL_SUFFIX;
  if (name.size() != prefix.size() + PARTIAL_UNIQUE_CHARACTERS || name.compare(0, prefix.size(), prefix) != 0)
    return false;
  for (size_t i = prefix.size(); i < name.size(); ++i)
    if (!std::isalnum(static_cast<unsigned char>(name[i]))) return false;
  return true;
}

}  // namespace

std::vector<std::filesystem::path> removeAbandonedPartials(const std::filesystem::path& destination) {
  std::filesystem::path folder = destination.parent_path();
  std::error_code error;
  std::vector<std::filesystem::path> removed;
  for (const std::string& name : folderEntryNames(folder.empty() ? "." : folder, error)) {
    if (!isPartialOf(name, destination.filename().u8string())) continue;
    std::filesystem::path partial = folder / std::filesystem::u8path(name);
    if (removeIfUnheld(partial)) removed.push_back(partial);
  }
  return removed;
}

}  // namespace onefile
