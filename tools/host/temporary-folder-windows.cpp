#include "host/temporary-folder.h"

#include <windows.h>

#include <cwchar>
#include <vector>

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

PackError folderError(DWORD error) {
  return PackError("%TEMP%", "cannot make a temporary folder: " + windowsErrorText(error));
}

// Full access for the user who runs the tool, and for nobody else, passed on
// to every file made in the folder; nothing is taken from %TEMP%, which may
// be open to every local user (TEMP=C:\Temp, common on CI machines). The
// signing password's file lies in this folder.
class UserOnlyAccess {
 public:
  UserOnlyAccess() {
    HANDLE token = nullptr;
    if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token)) throw folderError(GetLastError());
    DWORD size = 0;
    GetTokenInformation(token, TokenUser, nullptr, 0, &size);
    user_.resize(size);
    bool read = size > 0 && GetTokenInformation(token, TokenUser, user_.data(), size, &size);
    DWORD error = GetLastError();
    CloseHandle(token);
    if (!read) throw folderError(error);
    PSID sid = reinterpret_cast<TOKEN_USER*>(user_.data())->User.Sid;
    acl_.resize(sizeof(ACL) + sizeof(ACCESS_ALLOWED_ACE) + GetLengthSid(sid));
    ACL* acl = reinterpret_cast<ACL*>(acl_.data());
    if (!InitializeAcl(acl, static_cast<DWORD>(acl_.size()), ACL_REVISION) ||
        !AddAccessAllowedAceEx(acl, ACL_REVISION, OBJECT_INHERIT_ACE | CONTAINER_INHERIT_ACE, FILE_ALL_ACCESS, sid) ||
        !InitializeSecurityDescriptor(&descriptor_, SECURITY_DESCRIPTOR_REVISION) ||
        !SetSecurityDescriptorDacl(&descriptor_, TRUE, acl, FALSE) ||
        !SetSecurityDescriptorControl(&descriptor_, SE_DACL_PROTECTED, SE_DACL_PROTECTED))
      throw folderError(GetLastError());
    attributes_ = {sizeof attributes_, &descriptor_, FALSE};
  }
  UserOnlyAccess(const UserOnlyAccess&) = delete;
  UserOnlyAccess& operator=(const UserOnlyAccess&) = delete;

  SECURITY_ATTRIBUTES* attributes() { return &attributes_; }

 private:
  std::vector<unsigned char> user_, acl_;  // TOKEN_USER and the ACL, each aligned as new gives it
  SECURITY_DESCRIPTOR descriptor_;
  SECURITY_ATTRIBUTES attributes_;
};

}  // namespace

TemporaryFolder::TemporaryFolder() {
  wchar_t base[MAX_PATH + 1];
  DWORD length = GetTempPathW(MAX_PATH + 1, base);
  if (length == 0 || length > MAX_PATH) throw folderError(GetLastError());
  UserOnlyAccess access;
  unsigned seed = static_cast<unsigned>(GetTickCount64()) ^ (GetCurrentProcessId() << 16);
  for (int attempt = 0; attempt < NAME_ATTEMPTS; ++attempt) {
    wchar_t name[32];
    swprintf(name, 32, L"onefile-pack-%06x", (seed + static_cast<unsigned>(attempt) * 7919u) & 0xFFFFFFu);
    std::filesystem::path candidate = std::filesystem::path(base) / name;
    if (CreateDirectoryW(candidate.c_str(), access.attributes())) {
      path_ = candidate;
      interruptCleanup_.watchFlatFolder(path_);
      return;
    }
    if (GetLastError() != ERROR_ALREADY_EXISTS) break;
  }
  throw folderError(GetLastError());
}

// Nothing of the user's is in it: a folder that still cannot be removed is
// left, silently.
TemporaryFolder::~TemporaryFolder() {
  for (int attempt = 1; !removeFlatFolder(path_) && attempt < REMOVAL_ATTEMPTS; ++attempt) Sleep(RETRY_PAUSE_MS);
}

}  // namespace onefile
