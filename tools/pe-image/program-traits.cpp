#include "pe-image/program-traits.h"

#include <sstream>

#include "host/byte-fields.h"
#include "host/byte-view.h"
#include "pe-image/image-resources.h"
#include "host/pack-error.h"
#include "pe-image/pe-headers.h"
#include "pe-image/resource-section.h"
#include "pe-image/version-resource-reader.h"

namespace onefile {
namespace {

constexpr uint64_t GROUP_HEADER_SIZE = 6, GROUP_ENTRY_SIZE = 14, GROUP_ENTRY_ID_AT = 12;
constexpr uint64_t ICO_HEADER_SIZE = 6, ICO_ENTRY_SIZE = 16;
constexpr size_t SHARED_ENTRY_BYTES = 8;  // width, height, colours, reserved, planes, bits per pixel
constexpr uint16_t ICON_TYPE = 1;

std::string hex16(unsigned value) {
  std::ostringstream out;
  out << "0x" << std::hex << value;
  return out.str();
}

// The headers of an x86-64 image, or PackError saying in a user's words what the file is instead.
PeHeaders x86_64Headers(ByteView file, const std::string& shown) {
  auto refuse = [&](const std::string& what) { throw PackError(shown, what); };
  PeHeaders headers = readPeHeaders(file);
  if (headers.fault == PeHeaderFault::noDosHeader) refuse("not a Windows program (no MZ header)");
  if (headers.fault == PeHeaderFault::noPeHeader) refuse("not a Windows program (no PE header)");
  if (headers.machine == MACHINE_I386) refuse("not an x86-64 Windows program (a 32-bit one)");
  if (headers.machine == MACHINE_ARM64) refuse("not an x86-64 Windows program (an ARM64 one)");
  if (headers.machine != MACHINE_AMD64)
    refuse("not an x86-64 Windows program (its machine is " + hex16(headers.machine) + ")");
  std::optional<uint64_t> magic = file.field(headers.optionalHeader + OH_MAGIC, 2);
  if (magic == PE32_MAGIC) refuse("not an x86-64 Windows program (a PE32 image, not PE32+)");
  if (!headers.optionalHeaderInFile || headers.optionalSize < OH_SUBSYSTEM + 2 || magic != PE32_PLUS_MAGIC)
    refuse("not an x86-64 Windows program (no PE32+ optional header)");
  return headers;
}

// The 16-byte entry of an .ico file that holds the images one after the
// other: the group's entry with the image's size and place in that file in
// place of its resource number.
std::string icoEntry(ByteView groupEntry, size_t imageSize, uint64_t offset) {
  std::string entry(reinterpret_cast<const char*>(groupEntry.data()), SHARED_ENTRY_BYTES);
  appendLittleEndian(&entry, imageSize, 4);
  appendLittleEndian(&entry, offset, 4);
  return entry;
}

std::vector<IconImage> readIconGroup(const ImageResources& resources, ByteView group) {
  std::optional<uint64_t> type = group.field(2, 2), count = group.field(4, 2);
  if (!count || group.field(0, 2) != 0 || type != ICON_TYPE)
    throw ResourceFault("its icon group has no icon group header");
  if (*count == 0) throw ResourceFault("its icon group holds no image");
  if (*count > MAX_ICON_IMAGES)
    throw ResourceFault("its icon group holds " + std::to_string(*count) + " images; at most " +
                        std::to_string(MAX_ICON_IMAGES) + " are taken");
  if (!group.holds(GROUP_HEADER_SIZE, GROUP_ENTRY_SIZE * *count))
    throw ResourceFault("its icon group ends inside its entries");
  std::vector<IconImage> images;
  uint64_t offset = ICO_HEADER_SIZE + ICO_ENTRY_SIZE * *count;
  for (uint64_t i = 0; i < *count; ++i) {
    ByteView entry = *group.part(GROUP_HEADER_SIZE + GROUP_ENTRY_SIZE * i, GROUP_ENTRY_SIZE);
    uint16_t id = static_cast<uint16_t>(*entry.field(GROUP_ENTRY_ID_AT, 2));
    std::optional<ByteView> data = resources.byId(RESOURCE_ICON, id);
    if (!data) throw ResourceFault("its icon group names icon " + std::to_string(id) + ", which it does not hold");
    if (data->size() == 0) throw ResourceFault("its icon group names icon " + std::to_string(id) + ", which is empty");
    IconImage image;
    image.width = entry.data()[0] == 0 ? 256 : entry.data()[0];
    image.height = entry.data()[1] == 0 ? 256 : entry.data()[1];
    image.directoryEntry = icoEntry(entry, data->size(), offset);
    image.data.assign(reinterpret_cast<const char*>(data->data()), data->size());
    offset += data->size();
    images.push_back(std::move(image));
  }
  return images;
}

void takeVersion(const ImageResources& resources, ProgramTraits* traits) {
  std::optional<ByteView> resource = resources.first(RESOURCE_VERSION);
  if (!resource) return;
  VersionFound found = readVersionResource(*resource);
  traits->fileVersion = found.fileVersion;
  if (!found.fixedInfoFault.empty())
    traits->warnings.push_back(found.fixedInfoFault + "; its file version is not taken over");
  for (auto& [key, value] : found.strings) {
    std::string* target = key == "CompanyName"       ? &traits->company
                          : key == "FileDescription" ? &traits->description
                          : key == "ProductName"     ? &traits->product
                          : key == "LegalCopyright"  ? &traits->copyright
                                                     : nullptr;
    if (target && target->empty()) *target = std::move(value);
  }
}

void takeIcon(const ImageResources& resources, ProgramTraits* traits) {
  std::optional<ByteView> group = resources.first(RESOURCE_GROUP_ICON);
  if (group) traits->icon = readIconGroup(resources, *group);
}

// Runs one part of the reading; a fault in it becomes a warning and leaves its items at their defaults.
template <typename Take>
void tolerating(ProgramTraits* traits, Take take, const char* ignored) {
  try {
    take();
  } catch (const ResourceFault& fault) {
    traits->warnings.push_back(std::string(fault.what()) + "; " + ignored);
  }
}

}  // namespace

ProgramTraits readProgramTraits(const unsigned char* data, size_t size, const std::string& shownName) {
  ByteView file(data, size);
  PeHeaders headers = x86_64Headers(file, shownName);
  ProgramTraits traits;
  traits.subsystem = static_cast<uint16_t>(*file.field(headers.optionalHeader + OH_SUBSYSTEM, 2));
  std::optional<ImageResources> resources;
  tolerating(
      &traits, [&] { resources.emplace(file, headers); }, "neither its icon nor its version information is taken over");
  if (!resources) return traits;
  tolerating(
      &traits, [&] { takeIcon(*resources, &traits); }, "its icon is not taken over");
  // Each reading throws before it sets anything, so that a fault leaves all its items at their defaults.
  tolerating(
      &traits, [&] { takeVersion(*resources, &traits); }, "no version information is taken over");
  return traits;
}

std::string fileVersionText(const std::array<uint16_t, 4>& version) {
  std::string text = std::to_string(version[0]) + "." + std::to_string(version[1]) + "." + std::to_string(version[2]);
  if (version[3] != 0) text += "." + std::to_string(version[3]);
  return text;
}

}  // namespace onefile
