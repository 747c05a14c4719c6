#include "host/byte-sink.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "host/pack-error.h"

namespace onefile {
namespace {

std::string systemReason(const char* what) { return std::string(what) + ": " + std::strerror(errno); }

}  // namespace

AtomicOutputFile::AtomicOutputFile(std::filesystem::path destination, unsigned permissions)
    : destination_(std::move(destination)) {
  std::string pattern = destination_.string() + ".partial-XXXXXX";
  std::vector<char> name(pattern.begin(), pattern.end());
  name.push_back('\0');
  int descriptor = mkstemp(name.data());
  if (descriptor < 0) throw PackError(destination_.string(), systemReason("cannot create the output"));
  temporary_ = name.data();
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

void AtomicOutputFile::commit() {
  std::FILE* file = file_;
  file_ = nullptr;
  std::string failure;
  if (std::fflush(file) != 0 || fsync(fileno(file)) != 0) failure = systemReason("cannot write the output");
  if (std::fclose(file) != 0 && failure.empty()) failure = systemReason("cannot write the output");
  if (failure.empty() && std::rename(temporary_.c_str(), destination_.c_str()) != 0)
    failure = systemReason("cannot move the finished output into place");
  if (!failure.empty()) {
    discard();
    throw PackError(destination_.string(), failure);
  }
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
