#include "pe-image/resource-directory.h"

#include <algorithm>
#include <string>
#include <stdexcept>
#include <tuple>

#include "host/byte-fields.h"
#include "pe-image/pe-layout.h"

namespace onefile {
namespace {

// A directory: characteristics, time stamp, version, the counts of its named
// and its numbered entries; then its entries, named ones first.
constexpr uint32_t DIRECTORY_HEADER_SIZE = 16;
constexpr uint32_t NAMED_COUNT_AT = 12, NUMBERED_COUNT_AT = 14;
// An entry: its name (a number, or with NAMED_ENTRY an offset to a name),
// then where it leads (with SUBDIRECTORY a directory, else a data entry).
constexpr uint32_t ENTRY_SIZE = 8;
constexpr uint32_t NAMED_ENTRY = 0x80000000u, SUBDIRECTORY = 0x80000000u;
// A data entry: the data's address and size, a code page and a reserved field.
constexpr uint32_t DATA_ENTRY_SIZE = 16;
constexpr uint32_t DATA_ALIGNMENT = 8;

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
  static_assert(NUMBERED_COUNT_AT + 2 == DIRECTORY_HEADER_SIZE, "the counts end the directory's header");
  for (size_t i = 0; i < directory.ids.size(); ++i) {
    appendLittleEndian(out, directory.ids[i], 4);
    uint32_t offset = targetOffsets[directory.targets[i]];
    appendLittleEndian(out, leadsToData ? offset : offset | SUBDIRECTORY, 4);
  }
}

uint32_t directorySize(const Directory& directory) {
  return DIRECTORY_HEADER_SIZE + ENTRY_SIZE * static_cast<uint32_t>(directory.ids.size());
}

[[noreturn]] void damaged(const char* what) {
  throw ResourceFault(std::string("its resource directory is damaged (") + what + ")");
}

// The bytes of the section that the loader takes from the file: what the
// section holds in memory (all of the raw data when it names no size), as
// far as the raw data and the file reach.
std::optional<ByteView> sectionBytes(ByteView file, const PeSection& section) {
  uint64_t held = section.virtualSize == 0 ? section.rawSize : std::min(section.virtualSize, section.rawSize);
  if (section.rawOffset > file.size()) return std::nullopt;
  return file.part(section.rawOffset, std::min<uint64_t>(held, file.size() - section.rawOffset));
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

ImageResources::ImageResources(ByteView file, const PeHeaders& headers) : file_(file) {
  if (!headers.optionalHeaderInFile) return;
  ByteView optional = *file.part(headers.optionalHeader, headers.optionalSize);
  std::optional<uint64_t> count = optional.field(OH_DIRECTORY_COUNT, 4);
  uint64_t at = OH_DIRECTORIES + 8ull * RESOURCE_DIRECTORY;
  if (!count || *count <= RESOURCE_DIRECTORY || !optional.holds(at, 8)) return;
  uint64_t address = *optional.field(at, 4);
  if (address == 0) return;
  if (!headers.sectionTableInFile)
    throw ResourceFault("its section table lies outside the file, so its resources cannot be found");
  for (size_t i = 0; i < headers.sectionCount; ++i) sections_.push_back(peSection(file, headers, i));
  for (const PeSection& section : sections_) {
    std::optional<ByteView> bytes = sectionBytes(file, section);
    if (!bytes || address < section.virtualAddress || address - section.virtualAddress >= bytes->size()) continue;
    directory_ = *bytes->part(address - section.virtualAddress, bytes->size() - (address - section.virtualAddress));
    return;
  }
  throw ResourceFault("its resource directory lies outside its sections in the file");
}

std::vector<ImageResources::Entry> ImageResources::entries(uint32_t directory) const {
  std::optional<ByteView> header = directory_.part(directory, DIRECTORY_HEADER_SIZE);
  if (!header) damaged("a directory lies outside it");
  uint64_t count = *header->field(NAMED_COUNT_AT, 2) + *header->field(NUMBERED_COUNT_AT, 2);
  std::optional<ByteView> table = directory_.part(uint64_t(directory) + DIRECTORY_HEADER_SIZE, count * ENTRY_SIZE);
  if (!table) damaged("a directory's entries run past its end");
  std::vector<Entry> found(count);
  for (size_t i = 0; i < count; ++i) {
    found[i].name = static_cast<uint32_t>(*table->field(i * ENTRY_SIZE, 4));
    found[i].target = static_cast<uint32_t>(*table->field(i * ENTRY_SIZE + 4, 4));
  }
  return found;
}

uint32_t ImageResources::subdirectory(const Entry& entry) const {
  if (!(entry.target & SUBDIRECTORY)) damaged("data stands where a directory belongs");
  return entry.target & ~SUBDIRECTORY;
}

std::optional<uint32_t> ImageResources::typeDirectory(uint16_t type) const {
  if (directory_.size() == 0) return std::nullopt;
  for (const Entry& entry : entries(0))
    if (!(entry.name & NAMED_ENTRY) && entry.name == type) return subdirectory(entry);
  return std::nullopt;
}

ByteView ImageResources::firstLanguage(uint32_t nameDirectory) const {
  std::vector<Entry> languages = entries(nameDirectory);
  if (languages.empty()) damaged("a resource has no language");
  if (languages[0].target & SUBDIRECTORY) damaged("it is deeper than three levels");
  std::optional<ByteView> entry = directory_.part(languages[0].target, DATA_ENTRY_SIZE);
  if (!entry) damaged("a data entry lies outside it");
  std::optional<ByteView> data = mapped(*entry->field(0, 4), *entry->field(4, 4));
  if (!data) throw ResourceFault("a resource's data lies outside its sections in the file");
  return *data;
}

std::optional<ByteView> ImageResources::first(uint16_t type) const {
  std::optional<uint32_t> names = typeDirectory(type);
  if (!names) return std::nullopt;
  std::vector<Entry> found = entries(*names);
  if (found.empty()) return std::nullopt;
  return firstLanguage(subdirectory(found[0]));
}

std::optional<ByteView> ImageResources::byId(uint16_t type, uint16_t id) const {
  std::optional<uint32_t> names = typeDirectory(type);
  if (!names) return std::nullopt;
  for (const Entry& entry : entries(*names))
    if (!(entry.name & NAMED_ENTRY) && entry.name == id) return firstLanguage(subdirectory(entry));
  return std::nullopt;
}

std::optional<ByteView> ImageResources::mapped(uint64_t address, uint64_t size) const {
  for (const PeSection& section : sections_) {
    std::optional<ByteView> bytes = sectionBytes(file_, section);
    if (!bytes || address < section.virtualAddress) continue;
    if (std::optional<ByteView> data = bytes->part(address - section.virtualAddress, size)) return data;
  }
  return std::nullopt;
}

}  // namespace onefile
