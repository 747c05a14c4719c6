#include "host/secret-file.h"

#include <windows.h>

#include <vector>

#include "host/pack-error.h"
#include "host/utf.h"
#include "host/windows-error.h"

namespace onefile {
namespace {

// A security descriptor that lets the user running the tool alone in, and
// takes nothing from the folder's (%TEMP% may be a shared folder, as the
// system's own is).
struct UserOnlyAccess {
  std::vector<unsigned char> user, acl;
  SECURITY_DESCRIPTOR descriptor;

  bool build() {
    HANDLE token = nullptr;
    if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token)) return false;
    DWORD size = 0;
    GetTokenInformation(token, TokenUser, nullptr, 0, &size);  // fails, saying the size
    user.resize(size);
    bool read = size != 0 && GetTokenInformation(token, TokenUser, user.data(), size, &size);
    CloseHandle(token);
    if (!read) return false;
    PSID sid = reinterpret_cast<TOKEN_USER*>(user.data())->User.Sid;
    acl.resize(sizeof(ACL) + sizeof(ACCESS_ALLOWED_ACE) + GetLengthSid(sid));
    PACL list = reinterpret_cast<PACL>(acl.data());
    return InitializeAcl(list, static_cast<DWORD>(acl.size()), ACL_REVISION) &&
           AddAccessAllowedAce(list, ACL_REVISION, FILE_ALL_ACCESS, sid) &&
           InitializeSecurityDescriptor(&descriptor, SECURITY_DESCRIPTOR_REVISION) &&
           SetSecurityDescriptorDacl(&descriptor, TRUE, list, FALSE) &&
           SetSecurityDescriptorControl(&descriptor, SE_DACL_PROTECTED, SE_DACL_PROTECTED);
  }
};

}  // namespace

// A temporary file, which the system keeps in memory where it can.
SecretFile::SecretFile(std::filesystem::path path, const std::string& secret) : path_(std::move(path)) {
  auto failed = [&] {
    return PackError(displayName(path_.u8string()), "cannot be written: " + windowsErrorText(GetLastError()));
  };
  UserOnlyAccess access;
  if (!access.build()) throw failed();
  SECURITY_ATTRIBUTES attributes = {sizeof attributes, &access.descriptor, FALSE};
  HANDLE file = CreateFileW(path_.c_str(), GENERIC_WRITE, 0, &attributes, CREATE_NEW, FILE_ATTRIBUTE_TEMPORARY, nullptr);
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
