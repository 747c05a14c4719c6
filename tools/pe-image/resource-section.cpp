#include "pe-image/resource-section.h"

#include <algorithm>
#include <stdexcept>
#include <tuple>

#include "host/byte-fields.h"
#include "pe-image/pe-layout.h"

namespace onefile {
namespace {

constexpr uint32_t DIRECTORY_SIZE = 16;
constexpr uint32_t DIRECTORY_ENTRY_SIZE = 8;
constexpr uint32_t DATA_ENTRY_SIZE = 16;
constexpr uint32_t DATA_ALIGNMENT = 8;
constexpr uint32_t SUBDIRECTORY_FLAG = 0x80000000;

// One directory: the numbered entries it lists, each leading to a directory
// of the next level or, at the last level, to a data entry.
struct Directory {
  std::vector<uint16_t> ids;
  std::vector<size_t> targets;  // indices into the next level's directories, or into the resources
};

void appendDirectory(std::string* out, const Directory& directory, const std::vector<uint32_t>& targetOffsets,
                     bool leadsToData) {
  appendLittleEndian(out, 0, 4);  // characteristics
  appendLittleEndian(out, 0, 4);  // no time stamp: the same inputs give the same bytes
  appendLittleEndian(out, 0, 4);  // version 0.0
  appendLittleEndian(out, 0, 2);  // no named entries
  appendLittleEndian(out, directory.ids.size(), 2);
  for (size_t i = 0; i < directory.ids.size(); ++i) {
    appendLittleEndian(out, directory.ids[i], 4);
    uint32_t offset = targetOffsets[directory.targets[i]];
    appendLittleEndian(out, leadsToData ? offset : offset | SUBDIRECTORY_FLAG, 4);
  }
}

uint32_t directorySize(const Directory& directory) {
  return DIRECTORY_SIZE + DIRECTORY_ENTRY_SIZE * static_cast<uint32_t>(directory.ids.size());
}

}  // namespace

std::string buildResourceSection(std::vector<Resource> resources, uint32_t sectionAddress) {
  auto key = [](const Resource& r) { return std::make_tuple(r.type, r.id, r.language); };
  std::sort(resources.begin(), resources.end(), [&](const Resource& a, const Resource& b) { return key(a) < key(b); });
  for (size_t i = 1; i < resources.size(); ++i)
    if (key(resources[i - 1]) == key(resources[i])) throw std::logic_error("two resources share type, id and language");

  // Level 0: the root lists types; level 1: a type's ids; level 2: an id's languages.
  Directory root;
  std::vector<Directory> types, names;
  for (size_t i = 0; i < resources.size(); ++i) {
    const Resource& r = resources[i];
    bool newType = i == 0 || r.type != resources[i - 1].type;
    bool newName = newType || r.id != resources[i - 1].id;
    if (newType) {
      root.ids.push_back(r.type);
      root.targets.push_back(types.size());
      types.emplace_back();
    }
    if (newName) {
      types.back().ids.push_back(r.id);
      types.back().targets.push_back(names.size());
      names.emplace_back();
    }
    names.back().ids.push_back(r.language);
    names.back().targets.push_back(i);
  }

  uint32_t offset = directorySize(root);
  std::vector<uint32_t> typeOffsets, nameOffsets, dataEntryOffsets, dataOffsets;
  for (const Directory& d : types) typeOffsets.push_back(offset), offset += directorySize(d);
  for (const Directory& d : names) nameOffsets.push_back(offset), offset += directorySize(d);
  for (size_t i = 0; i < resources.size(); ++i) dataEntryOffsets.push_back(offset), offset += DATA_ENTRY_SIZE;
  for (const Resource& r : resources) {
    offset = static_cast<uint32_t>(alignUp(offset, DATA_ALIGNMENT));
    dataOffsets.push_back(offset);
    offset += static_cast<uint32_t>(r.data.size());
  }

  std::string out;
  appendDirectory(&out, root, typeOffsets, false);
  for (const Directory& d : types) appendDirectory(&out, d, nameOffsets, false);
  for (const Directory& d : names) appendDirectory(&out, d, dataEntryOffsets, true);
  for (size_t i = 0; i < resources.size(); ++i) {
    appendLittleEndian(&out, sectionAddress + dataOffsets[i], 4);
    appendLittleEndian(&out, resources[i].data.size(), 4);
    appendLittleEndian(&out, 0, 4);  // code page
    appendLittleEndian(&out, 0, 4);
  }
  for (size_t i = 0; i < resources.size(); ++i) {
    out.resize(dataOffsets[i], '\0');
    out += resources[i].data;
  }
  return out;
}

}  // namespace onefile
