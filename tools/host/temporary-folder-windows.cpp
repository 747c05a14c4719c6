#include "host/temporary-folder.h"

#include <windows.h>

#include <cwchar>

#include "host/pack-error.h"
#include "host/windows-error.h"

namespace onefile {
namespace {

constexpr int NAME_ATTEMPTS = 100;

}  // namespace

// The user's own temporary folder (%TEMP%) is closed to other users.
TemporaryFolder::TemporaryFolder() {
  wchar_t base[MAX_PATH + 1];
  DWORD length = GetTempPathW(MAX_PATH + 1, base);
  if (length == 0 || length > MAX_PATH)
    throw PackError("%TEMP%", "cannot make a temporary folder: " + windowsErrorText(GetLastError()));
  unsigned seed = static_cast<unsigned>(GetTickCount64()) ^ (GetCurrentProcessId() << 16);
  for (int attempt = 0; attempt < NAME_ATTEMPTS; ++attempt) {
    wchar_t name[32];
    swprintf(name, 32, L"onefile-pack-%06x", (seed + static_cast<unsigned>(attempt) * 7919u) & 0xFFFFFFu);
    std::filesystem::path candidate = std::filesystem::path(base) / name;
    if (CreateDirectoryW(candidate.c_str(), nullptr)) {
      path_ = candidate;
      interruptCleanup_.watchFlatFolder(path_);
      return;
    }
    if (GetLastError() != ERROR_ALREADY_EXISTS) break;
  }
  throw PackError("%TEMP%", "cannot make a temporary folder: " + windowsErrorText(GetLastError()));
}

TemporaryFolder::~TemporaryFolder() {
  std::error_code ignored;  // nothing of the user's is in it
  std::filesystem::remove_all(path_, ignored);
}

}  // namespace onefile
