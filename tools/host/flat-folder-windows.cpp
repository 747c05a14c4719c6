#include "host/flat-folder.h"

#include <windows.h>

namespace onefile {
namespace {

bool removeFile(const std::filesystem::path& file) {
  return DeleteFileW(file.c_str()) || GetLastError() == ERROR_FILE_NOT_FOUND || GetLastError() == ERROR_PATH_NOT_FOUND;
}

}  // namespace

bool removeFlatFolder(const std::filesystem::path& folder) {
  std::error_code error;
  bool emptied = true;
  for (const std::filesystem::directory_entry& entry : std::filesystem::directory_iterator(folder, error))
    if (!removeFile(entry.path())) emptied = false;
  if (error) return !std::filesystem::exists(folder, error) && !error;
  if (!emptied || !std::filesystem::is_empty(folder, error) || error) return false;
  return RemoveDirectoryW(folder.c_str()) || GetLastError() == ERROR_FILE_NOT_FOUND;
}

}  // namespace onefile
