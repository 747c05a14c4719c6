#include "host/mapped-file.h"

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "host/pack-error.h"
#include "host/utf.h"

namespace onefile {

MappedFile::MappedFile(const std::filesystem::path& path) {
  std::string shown = displayName(path.string());
  int descriptor = open(path.c_str(), O_RDONLY);
  if (descriptor < 0) throw PackError(shown, std::string("cannot open: ") + std::strerror(errno));
  struct stat info;
  if (fstat(descriptor, &info) != 0 || !S_ISREG(info.st_mode)) {
    close(descriptor);
    throw PackError(shown, "not a regular file");
  }
  size_ = static_cast<size_t>(info.st_size);
  if (size_ > 0) {
    void* mapped = mmap(nullptr, size_, PROT_READ, MAP_PRIVATE, descriptor, 0);
    if (mapped == MAP_FAILED) {
      int error = errno;
      close(descriptor);
      throw PackError(shown, std::string("cannot map: ") + std::strerror(error));
    }
    data_ = static_cast<const unsigned char*>(mapped);
  }
  close(descriptor);  // the mapping stays valid without the descriptor
}

MappedFile::~MappedFile() {
  if (data_ != nullptr) munmap(const_cast<unsigned char*>(data_), size_);
}

}  // namespace onefile

namespace onefile {

void MappedFile::releaseBefore(size_t offset) const {
  size_t pages = offset / static_cast<size_t>(sysconf(_SC_PAGESIZE)) * static_cast<size_t>(sysconf(_SC_PAGESIZE));
  if (data_ != nullptr && pages > 0) madvise(const_cast<unsigned char*>(data_), pages, MADV_DONTNEED);
}

}  // namespace onefile
