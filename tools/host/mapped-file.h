// A whole file mapped read-only, for reading payloads and executables.
#pragma once
#include <cstddef>
#include <filesystem>

namespace onefile {

class MappedFile {
 public:
  explicit MappedFile(const std::filesystem::path& path);
  ~MappedFile();
  MappedFile(const MappedFile&) = delete;
  MappedFile& operator=(const MappedFile&) = delete;

  const unsigned char* data() const { return data_; }
  size_t size() const { return size_; }
  // The bytes before offset will not be read again: their pages leave this
  // process's memory (they stay in the system's file cache), so that reading
  // a large file through costs no more memory than a piece of it.
  void releaseBefore(size_t offset) const;

 private:
  const unsigned char* data_ = nullptr;
  size_t size_ = 0;
};

}  // namespace onefile
