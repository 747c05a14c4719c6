// MappedFile on Windows: the file is opened by its wide name and mapped
// read-only. Others may go on using it meanwhile: the packer maps its own
// output, still open for writing, to checksum it.
#include <windows.h>

#include <string>

#include "host/mapped-file.h"
#include "host/pack-error.h"
#include "host/utf.h"
#include "host/windows-error.h"

namespace onefile {

MappedFile::MappedFile(const std::filesystem::path& path) {
  std::string shown = displayName(path.u8string());
  HANDLE file = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                            FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) throw PackError(shown, "cannot open: " + windowsErrorText(GetLastError()));
  BY_HANDLE_FILE_INFORMATION info;
  if (!GetFileInformationByHandle(file, &info) || (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
    CloseHandle(file);
    throw PackError(shown, "not a regular file");
  }
  size_ = (static_cast<uint64_t>(info.nFileSizeHigh) << 32) | info.nFileSizeLow;
  if (size_ > 0) {
    HANDLE mapping = CreateFileMappingW(file, nullptr, PAGE_READONLY, 0, 0, nullptr);
    void* view = mapping != nullptr ? MapViewOfFile(mapping, FILE_MAP_READ, 0, 0, 0) : nullptr;
    DWORD error = GetLastError();
    if (mapping != nullptr) CloseHandle(mapping);  // the view keeps the mapping alive
    if (view == nullptr) {
      CloseHandle(file);
      throw PackError(shown, "cannot map: " + windowsErrorText(error));
    }
    data_ = static_cast<const unsigned char*>(view);
  }
  CloseHandle(file);
}

MappedFile::~MappedFile() {
  if (data_ != nullptr) UnmapViewOfFile(data_);
}

}  // namespace onefile

namespace onefile {

// Unlocking pages that were never locked takes them out of the working set.
void MappedFile::releaseBefore(size_t offset) const {
  if (data_ != nullptr && offset > 0) VirtualUnlock(const_cast<unsigned char*>(data_), offset);
}

}  // namespace onefile
