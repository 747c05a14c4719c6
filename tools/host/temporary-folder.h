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

#ifdef _WIN32
// Removes a folder that holds files only; true when it is gone. The folder
// itself is removed only once it lists no file: a file deleted while another
// handle holds it stays listed until that closes, and a folder removed
// before then may stay behind, pending deletion, refusing every later attempt.
bool removeFlatFolder(const std::filesystem::path& folder);
#endif

}  // namespace onefile
