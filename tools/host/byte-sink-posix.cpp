#include "host/byte-sink.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "host/pack-error.h"

namespace onefile {
namespace {

constexpr int NAME_ATTEMPTS = 100;

std::string systemReason(const char* what) { return std::string(what) + ": " + std::strerror(errno); }

bool sameFile(const struct stat& a, const struct stat& b) { return a.st_dev == b.st_dev && a.st_ino == b.st_ino; }

// A new file from pattern (ending in XXXXXX), locked for as long as it is
// open: the lock tells a later run that it is still being written. Such a
// run may find the file between its making and its locking, take it for
// abandoned and remove it; the name then no longer leads to this file, and
// another is made. -1 with errno set when none can be made.
int createLockedTemporary(const std::string& pattern, std::string* name) {
  for (int attempt = 0; attempt < NAME_ATTEMPTS; ++attempt) {
    std::vector<char> made(pattern.begin(), pattern.end());
    made.push_back('\0');
    int descriptor = mkstemp(made.data());
    if (descriptor < 0) return -1;
    // A file system without locks still gets its output written.
    bool locked = flock(descriptor, LOCK_EX) == 0;
    struct stat opened, named;
    if (!locked || (fstat(descriptor, &opened) == 0 && stat(made.data(), &named) == 0 && sameFile(opened, named))) {
      *name = made.data();
      return descriptor;
    }
    close(descriptor);
  }
  errno = EEXIST;
  return -1;
}

}  // namespace

// The lock is taken without waiting: a file that another process has locked
// is being written, and one that cannot be locked is left alone.
bool removeIfUnheld(const std::filesystem::path& file) {
  int descriptor = open(file.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
  if (descriptor < 0) return false;
  struct stat info;
  bool removed = fstat(descriptor, &info) == 0 && S_ISREG(info.st_mode) && flock(descriptor, LOCK_EX | LOCK_NB) == 0 &&
                 unlink(file.c_str()) == 0;
  close(descriptor);
  return removed;
}

AtomicOutputFile::AtomicOutputFile(std::filesystem::path destination, unsigned permissions)
    : destination_(std::move(destination)) {
  int descriptor = createLockedTemporary(destination_.string() + ".partial-XXXXXX", &temporary_);
  if (descriptor < 0) throw PackError(destination_.string(), systemReason("cannot create the output"));
  // mkstemp gives 0600; an output should get the permissions any new file gets.
  mode_t mask = umask(0);
  umask(mask);
  fchmod(descriptor, static_cast<mode_t>(permissions) & ~mask);
  file_ = fdopen(descriptor, "wb");
  if (file_ == nullptr) {
    close(descriptor);
    unlink(temporary_.c_str());
    throw PackError(destination_.string(), systemReason("cannot create the output"));
  }
  interruptCleanup_.watchFile(temporary_);
}

AtomicOutputFile::~AtomicOutputFile() { discard(); }

void AtomicOutputFile::write(const void* bytes, size_t size) {
  if (std::fwrite(bytes, 1, size, file_) != size)
    throw PackError(destination_.string(), systemReason("cannot write the output"));
}

void AtomicOutputFile::flush() {
  if (std::fflush(file_) != 0) throw PackError(destination_.string(), systemReason("cannot write the output"));
}

void AtomicOutputFile::overwrite(uint64_t offset, const void* bytes, size_t size) {
  flush();
  ssize_t written = pwrite(fileno(file_), bytes, size, static_cast<off_t>(offset));
  if (written < 0 || static_cast<size_t>(written) != size)
    throw PackError(destination_.string(), systemReason("cannot write the output"));
}

// Moved into place while still open, and so locked: no later run can take
// it for abandoned in between. Once its bytes are on disk, closing it cannot
// lose any.
void AtomicOutputFile::commit() {
  std::string failure;
  if (std::fflush(file_) != 0 || fsync(fileno(file_)) != 0) failure = systemReason("cannot write the output");
  if (failure.empty() && std::rename(temporary_.c_str(), destination_.c_str()) != 0)
    failure = systemReason("cannot move the finished output into place");
  if (!failure.empty()) {
    discard();
    throw PackError(destination_.string(), failure);
  }
  std::fclose(file_);
  file_ = nullptr;
  temporary_.clear();
  interruptCleanup_.stop();
}

void AtomicOutputFile::discard() {
  if (file_ != nullptr) std::fclose(file_);  // the file is being thrown away: its errors do not matter
  file_ = nullptr;
  if (!temporary_.empty()) unlink(temporary_.c_str());
  temporary_.clear();
  interruptCleanup_.stop();
}

}  // namespace onefile
