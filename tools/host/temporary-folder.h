// A folder of the system's temporary folder that only this user can enter,
// removed with everything in it when the object goes, or when the run is
// interrupted. It holds files only, no folder: see InterruptCleanup.
#pragma once
#include <filesystem>

#include "host/interrupt-cleanup.h"

namespace onefile {

class TemporaryFolder {
 public:
  TemporaryFolder();  // throws PackError when it cannot be made
  ~TemporaryFolder();
  TemporaryFolder(const TemporaryFolder&) = delete;
  TemporaryFolder& operator=(const TemporaryFolder&) = delete;

  const std::filesystem::path& path() const { return path_; }

 private:
  std::filesystem::path path_;
  InterruptCleanup interruptCleanup_;
};

}  // namespace onefile
