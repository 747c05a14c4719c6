// Files built into the tool: the prebuilt bootstrap stub, the application
// manifest and the default icon (see tools/executable/CMakeLists.txt).
#pragma once
#include <string_view>

extern "C" {
extern const unsigned char onefileStub[], onefileStubEnd[];
extern const unsigned char onefileManifest[], onefileManifestEnd[];
extern const unsigned char onefileDefaultIcon[], onefileDefaultIconEnd[];
}

namespace onefile {

inline std::string_view embeddedFile(const unsigned char* start, const unsigned char* end) {
  return std::string_view(reinterpret_cast<const char*>(start), static_cast<size_t>(end - start));
}

}  // namespace onefile
