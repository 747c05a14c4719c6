#include "host/temporary-folder.h"

#include <windows.h>

#include <cwchar>

#include "host/flat-folder.h"
#include "host/pack-error.h"
#include "host/windows-error.h"

namespace onefile {
namespace {

constexpr int NAME_ATTEMPTS = 100;
// A program that has just ended may hold its files a moment longer (under
// Wine its end is reported before they are closed): up to 2 s in all.
constexpr int REMOVAL_ATTEMPTS = 40;
constexpr DWORD RETRY_PAUSE_MS = 50;

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

// Nothing of the user's is in it: a folder that still cannot be removed is
// left, silently.
TemporaryFolder::~TemporaryFolder() {
  for (int attempt = 1; !removeFlatFolder(path_) && attempt < REMOVAL_ATTEMPTS; ++attempt) Sleep(RETRY_PAUSE_MS);
}

}  // namespace onefile
