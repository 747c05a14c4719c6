// The resource section: the three-level directory (type, name, language)
// that the system reads an executable's manifest, version and icons from.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

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

}  // namespace onefile
