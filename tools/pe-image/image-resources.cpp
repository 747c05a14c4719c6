#include "pe-image/image-resources.h"

#include <algorithm>

namespace onefile {
namespace {

constexpr uint32_t DIRECTORY_HEADER_SIZE = 16;
constexpr uint32_t NAMED_COUNT_AT = 12, NUMBERED_COUNT_AT = 14;
constexpr uint32_t ENTRY_SIZE = 8;
constexpr uint32_t DATA_ENTRY_SIZE = 16;
constexpr uint32_t NAMED_ENTRY = 0x80000000u, SUBDIRECTORY = 0x80000000u;

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
