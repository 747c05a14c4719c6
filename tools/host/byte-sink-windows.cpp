// AtomicOutputFile on Windows. The temporary file is marked for deletion as
// soon as it is created, so that however the run ends while it is being
// written (an error, Ctrl+C, the process being killed) the system removes it
// when its handle closes. flush() lifts the mark, since a file marked so
// cannot be opened again (the executable's checksum is read from it, the
// signing program signs it); from then until commit() moves it into place,
// discarding deletes it by name, and so does the console control handler
// when the run is interrupted. A run killed in that time leaves the file,
// for a later run to the same output to remove once nothing holds it open.
#include <windows.h>
#include <fcntl.h>
#include <io.h>

#include <cstdio>

#include "host/byte-sink.h"
#include "host/pack-error.h"
#include "host/utf.h"
#include "host/windows-error.h"

namespace onefile {
namespace {

constexpr int NAME_ATTEMPTS = 100;

HANDLE handleOf(std::FILE* file) { return reinterpret_cast<HANDLE>(_get_osfhandle(_fileno(file))); }

bool markForDeletion(HANDLE file, bool deleteIt) {
  FILE_DISPOSITION_INFO disposition = {static_cast<BOOLEAN>(deleteIt ? TRUE : FALSE)};
  return SetFileInformationByHandle(file, FileDispositionInfo, &disposition, sizeof disposition) != 0;
}

// A name beside the destination that no other file has: created exclusively.
HANDLE createTemporary(const std::filesystem::path& destination, std::filesystem::path* temporary) {
  unsigned seed = static_cast<unsigned>(GetTickCount64()) ^ (GetCurrentProcessId() << 16);
  for (int attempt = 0; attempt < NAME_ATTEMPTS; ++attempt) {
    wchar_t suffix[32];
    swprintf(suffix, 32, L".partial-%06x", (seed + static_cast<unsigned>(attempt) * 7919u) & 0xFFFFFFu);
    *temporary = destination;
    *temporary += suffix;
    HANDLE file = CreateFileW(temporary->c_str(), GENERIC_WRITE | DELETE, FILE_SHARE_READ | FILE_SHARE_DELETE,
                              nullptr, CREATE_NEW,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file != INVALID_HANDLE_VALUE || GetLastError() != ERROR_FILE_EXISTS) return file;
  }
  return INVALID_HANDLE_VALUE;
}

}  // namespace

// Opened without sharing, the file is refused while any process has it open:
// the run writing it, or a signing program reading it.
bool removeIfUnheld(const std::filesystem::path& file) {
  HANDLE handle = CreateFileW(file.c_str(), DELETE, 0, nullptr, OPEN_EXISTING, FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
  if (handle == INVALID_HANDLE_VALUE) return false;
  bool removed = markForDeletion(handle, true);
  CloseHandle(handle);  // marked: closing removes it
  return removed;
}

// Windows marks programs by their name, not by permission bits: there is
// nothing to set.
AtomicOutputFile::AtomicOutputFile(std::filesystem::path destination, unsigned /*permissions*/)
    : destination_(std::move(destination)) {
  std::string shown = displayName(destination_.u8string());
  std::filesystem::path temporary;
  HANDLE handle = createTemporary(destination_, &temporary);
  if (handle == INVALID_HANDLE_VALUE)
    throw PackError(shown, "cannot create the output: " + windowsErrorText(GetLastError()));
  if (!markForDeletion(handle, true)) {
    DWORD error = GetLastError();
    CloseHandle(handle);
    DeleteFileW(temporary.c_str());
    throw PackError(shown, "cannot create the output: " + windowsErrorText(error));
  }
  int descriptor = _open_osfhandle(reinterpret_cast<intptr_t>(handle), _O_BINARY | _O_WRONLY);
  file_ = descriptor >= 0 ? _fdopen(descriptor, "wb") : nullptr;
  if (file_ == nullptr) {
    if (descriptor >= 0) _close(descriptor);
    else CloseHandle(handle);  // marked for deletion: closing removes it
    throw PackError(shown, "cannot create the output");
  }
  temporary_ = temporary.u8string();
  interruptCleanup_.watchFile(temporary);
}

AtomicOutputFile::~AtomicOutputFile() { discard(); }

void AtomicOutputFile::write(const void* bytes, size_t size) {
  if (std::fwrite(bytes, 1, size, file_) != size)
    throw PackError(displayName(destination_.u8string()),
                    "cannot write the output: " + windowsErrorText(GetLastError()));
}

void AtomicOutputFile::flush() {
  std::string shown = displayName(destination_.u8string());
  if (std::fflush(file_) != 0 || !FlushFileBuffers(handleOf(file_)))
    throw PackError(shown, "cannot write the output: " + windowsErrorText(GetLastError()));
  if (!markForDeletion(handleOf(file_), false))
    throw PackError(shown, "cannot keep the output: " + windowsErrorText(GetLastError()));
}

// Written through the descriptor at the offset; the position for later
// writes stays where it was.
void AtomicOutputFile::overwrite(uint64_t offset, const void* bytes, size_t size) {
  std::string shown = displayName(destination_.u8string());
  if (std::fflush(file_) != 0) throw PackError(shown, "cannot write the output");
  int descriptor = _fileno(file_);
  __int64 position = _lseeki64(descriptor, 0, SEEK_CUR);
  bool written = position >= 0 && _lseeki64(descriptor, static_cast<__int64>(offset), SEEK_SET) >= 0 &&
                 _write(descriptor, bytes, static_cast<unsigned>(size)) == static_cast<int>(size);
  if (!written || _lseeki64(descriptor, position, SEEK_SET) < 0)
    throw PackError(shown, "cannot write the output: " + windowsErrorText(GetLastError()));
}

void AtomicOutputFile::commit() {
  std::string shown = displayName(destination_.u8string());
  std::filesystem::path temporary = std::filesystem::u8path(temporary_);
  flush();
  std::FILE* file = file_;
  std::string failure;
  file_ = nullptr;
  if (std::fclose(file) != 0) failure = "cannot write the output";
  if (failure.empty() &&
      !MoveFileExW(temporary.c_str(), destination_.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH))
    failure = "cannot move the finished output into place: " + windowsErrorText(GetLastError());
  if (!failure.empty()) {
    DeleteFileW(temporary.c_str());
    temporary_.clear();
    interruptCleanup_.stop();
    throw PackError(shown, failure);
  }
  temporary_.clear();
  interruptCleanup_.stop();
}

void AtomicOutputFile::discard() {
  if (file_ != nullptr) std::fclose(file_);  // still marked for deletion, closing removes it
  file_ = nullptr;
  if (!temporary_.empty()) DeleteFileW(std::filesystem::u8path(temporary_).c_str());  // after flush()
  temporary_.clear();
  interruptCleanup_.stop();
}

}  // namespace onefile
