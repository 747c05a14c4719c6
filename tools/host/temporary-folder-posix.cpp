#include "host/temporary-folder.h"

#include <stdlib.h>

#include <cerrno>
#include <cstring>
#include <string>
#include <vector>

#include "host/pack-error.h"

namespace onefile {

// mkdtemp makes the folder with mode 0700.
TemporaryFolder::TemporaryFolder() {
  const char* base = std::getenv("TMPDIR");
  std::string pattern = std::string(base != nullptr && *base != '\0' ? base : "/tmp") + "/onefile-pack-XXXXXX";
  std::vector<char> name(pattern.begin(), pattern.end());
  name.push_back('\0');
  if (mkdtemp(name.data()) == nullptr)
    throw PackError(pattern, std::string("cannot make a temporary folder: ") + std::strerror(errno));
  path_ = name.data();
  interruptCleanup_.watchFlatFolder(path_);
}

TemporaryFolder::~TemporaryFolder() {
  std::error_code ignored;  // nothing of the user's is in it
  std::filesystem::remove_all(path_, ignored);
}

}  // namespace onefile
