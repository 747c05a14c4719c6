#include "host/secret-file.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "host/pack-error.h"
#include "host/utf.h"

namespace onefile {

// Mode 0600 from the start, and never through a name that is already there
// (a link planted in its place).
SecretFile::SecretFile(std::filesystem::path path, const std::string& secret) : path_(std::move(path)) {
  int file = open(path_.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
  if (file < 0)
    throw PackError(displayName(path_.u8string()), std::string("cannot be written: ") + std::strerror(errno));
  bool written = write(file, secret.data(), secret.size()) == static_cast<ssize_t>(secret.size());
  int error = errno;
  if (close(file) != 0 && written) written = false, error = errno;
  if (!written) {
    unlink(path_.c_str());
    throw PackError(displayName(path_.u8string()), std::string("cannot be written: ") + std::strerror(error));
  }
}

SecretFile::~SecretFile() { unlink(path_.c_str()); }  // already gone is as good

}  // namespace onefile
