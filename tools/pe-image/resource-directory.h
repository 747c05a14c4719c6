// The resource directory: the three-level tree (type, name, language) that
// the system reads an executable's manifest, version and icons from. Written
// as the resource section of the executables the tool makes, and read from
// another program's image with every offset bounded: by the bytes the file
// holds for the section the directory lies in, and for the data by the
// section its address falls in. The reading goes exactly three levels deep,
// as the system's does, so that a directory that points back at itself is
// read as a damaged one and cannot loop.
#pragma once
#include <cstdint>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

#include "host/byte-view.h"
#include "pe-image/pe-headers.h"

namespace onefile {

enum ResourceType : uint16_t {
  RESOURCE_ICON = 3,
  RESOURCE_GROUP_ICON = 14,
  RESOURCE_VERSION = 16,
  RESOURCE_MANIFEST = 24,
};

inline constexpr uint16_t LANGUAGE_ENGLISH_US = 0x0409;

struct Resource {
  uint16_t type = 0;
  uint16_t id = 0;
  uint16_t language = LANGUAGE_ENGLISH_US;
  std::string data;
};

// The section's bytes for a section placed at sectionAddress (its relative
// virtual address: data entries point at their data by address). Resources
// are identified by number only; no two may share type, id and language.
std::string buildResourceSection(std::vector<Resource> resources, uint32_t sectionAddress);

// Something malformed in a program's resources, said in one line.
class ResourceFault : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

class ImageResources {
 public:
  // The image's sections and its resource directory; none when it has no
  // resource directory. Throws ResourceFault when the directory cannot be
  // found in the file. headers must be free of faults.
  ImageResources(ByteView file, const PeHeaders& headers);

  // The first resource of the type (the first name in directory order, named
  // ones before numbered ones as stored, and its first language); nullopt
  // when there is none. Throws ResourceFault when the directory is damaged
  // on the way.
  std::optional<ByteView> first(uint16_t type) const;
  // The resource of the type with the number as its name, first language.
  std::optional<ByteView> byId(uint16_t type, uint16_t id) const;

 private:
  struct Entry {
    uint32_t name = 0;    // a number, or with NAMED_ENTRY an offset to a name
    uint32_t target = 0;  // with SUBDIRECTORY an offset to a directory, else to a data entry
  };
  std::vector<Entry> entries(uint32_t directory) const;
  uint32_t subdirectory(const Entry& entry) const;
  std::optional<uint32_t> typeDirectory(uint16_t type) const;
  ByteView firstLanguage(uint32_t nameDirectory) const;
  // The file's bytes for an address range of the loaded image; nullopt when
  // no section holds all of them in the file.
  std::optional<ByteView> mapped(uint64_t address, uint64_t size) const;

  ByteView file_;
  std::vector<PeSection> sections_;
  ByteView directory_;  // from the root directory to the end of its section's bytes in the file
};

}  // namespace onefile
