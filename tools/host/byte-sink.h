// Where encoded bytes go: a growing string (tests, fixtures) or an output file
// that appears under its final name only when it is complete. Bytes already
// written can be replaced, so that a header is written before the sizes it
// states are known.
#pragma once
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "host/interrupt-cleanup.h"

namespace onefile {

class ByteSink {
 public:
  virtual ~ByteSink() = default;
  virtual void write(const void* bytes, size_t size) = 0;
  // Replaces bytes already written, at offset from the first byte written.
  virtual void overwrite(uint64_t offset, const void* bytes, size_t size) = 0;
};

class StringSink : public ByteSink {
 public:
  void write(const void* bytes, size_t size) override { bytes_.append(static_cast<const char*>(bytes), size); }
  void overwrite(uint64_t offset, const void* bytes, size_t size) override {
    bytes_.replace(static_cast<size_t>(offset), size, static_cast<const char*>(bytes), size);
  }
  const std::string& bytes() const { return bytes_; }

 private:
  std::string bytes_;
};

// Writes to a temporary file beside the destination ("OUT.exe.partial-" and
// six characters); commit() renames it into place. Destroyed or interrupted
// (SIGINT, SIGTERM, SIGHUP; Ctrl+C, Ctrl+Break, closing the console) before
// that, it removes the temporary file, so a failed run never leaves a
// half-written output behind. The temporary file is held for as long as it
// is written: locked on POSIX, open on Windows.
class AtomicOutputFile : public ByteSink {
 public:
  // permissions are those of a new file before the umask: 0666 for data,
  // 0777 for a program.
  explicit AtomicOutputFile(std::filesystem::path destination, unsigned permissions = 0666);
  ~AtomicOutputFile() override;
  AtomicOutputFile(const AtomicOutputFile&) = delete;
  AtomicOutputFile& operator=(const AtomicOutputFile&) = delete;

  void write(const void* bytes, size_t size) override;
  // Replaces bytes already written, at offset from the file's start.
  void overwrite(uint64_t offset, const void* bytes, size_t size) override;
  // Everything written so far is in the file at temporaryPath() (UTF-8 on
  // Windows), where it can be opened for reading.
  void flush();
  const std::string& temporaryPath() const { return temporary_; }
  void commit();

 private:
  void discard();

  std::filesystem::path destination_;
  std::string temporary_;
  std::FILE* file_ = nullptr;
  InterruptCleanup interruptCleanup_;
};

// The temporary files of earlier runs to destination that were killed, and so
// could not remove their own: each one that no process holds any more is
// removed. Returns the names of those removed.
std::vector<std::filesystem::path> removeAbandonedPartials(const std::filesystem::path& destination);

// Removes file unless a process holds it as AtomicOutputFile holds its
// temporary file; false when it is held or cannot be removed.
bool removeIfUnheld(const std::filesystem::path& file);

}  // namespace onefile
