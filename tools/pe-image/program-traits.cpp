#include "pe-image/program-traits.h"

#include <sstream>

#include "host/byte-view.h"
#include "host/pack-error.h"
#include "pe-image/pe-headers.h"
#include "pe-image/resource-directory.h"
#include "pe-image/version-resource.h"

namespace onefile {
namespace {

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

// The manifest Windows reads when it starts a program is the one of ID 1.
constexpr uint16_t PROGRAM_MANIFEST_ID = 1;

void takeExecutionLevel(const ImageResources& resources, ProgramTraits* traits) {
  std::optional<ByteView> manifest = resources.byId(RESOURCE_MANIFEST, PROGRAM_MANIFEST_ID);
  if (!manifest) return;
  ExecutionLevelFound found = readExecutionLevel(*manifest);
  traits->executionLevel = found.level;
  if (!found.fault.empty()) traits->warnings.push_back(found.fault);
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
  tolerating(
      &traits, [&] { takeExecutionLevel(*resources, &traits); }, "its manifest's execution level is not taken over");
  return traits;
}

std::string fileVersionText(const std::array<uint16_t, 4>& version) {
  std::string text = std::to_string(version[0]) + "." + std::to_string(version[1]) + "." + std::to_string(version[2]);
  if (version[3] != 0) text += "." + std::to_string(version[3]);
  return text;
}

}  // namespace onefile
