#include "host/secret-file.h"

#include <windows.h>

#include "host/pack-error.h"
#include "host/utf.h"
#include "host/windows-error.h"

namespace onefile {

// The file takes the access of the private folder, which only this user
// has (as the signed copies beside it do). A temporary file, which the
// system keeps in memory where it can.
SecretFile::SecretFile(std::filesystem::path path, const std::string& secret) : path_(std::move(path)) {
  auto failed = [&] {
    return PackError(displayName(path_.u8string()), "cannot be written: " + windowsErrorText(GetLastError()));
  };
  HANDLE file = CreateFileW(path_.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_TEMPORARY, nullptr);
  if (file == INVALID_HANDLE_VALUE) throw failed();
  DWORD written = 0;
  bool whole = WriteFile(file, secret.data(), static_cast<DWORD>(secret.size()), &written, nullptr) &&
               written == secret.size();
  DWORD error = GetLastError();
  if (!CloseHandle(file) && whole) whole = false, error = GetLastError();
  if (!whole) {
    DeleteFileW(path_.c_str());
    SetLastError(error);
    throw failed();
  }
}

SecretFile::~SecretFile() { DeleteFileW(path_.c_str()); }  // already gone is as good

}  // namespace onefile
