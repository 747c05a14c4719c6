#include "executable/stub-image.h"

#include <algorithm>

#include "host/byte-fields.h"
#include "host/pack-error.h"
#include "pe-image/pe-headers.h"

namespace onefile {
namespace {

uint32_t alignUp32(uint64_t value, uint32_t alignment) { return static_cast<uint32_t>(alignUp(value, alignment)); }

bool isPowerOfTwo(uint32_t value) { return value != 0 && (value & (value - 1)) == 0; }

}  // namespace

StubImage::StubImage(std::string bytes, std::string shownName) : bytes_(std::move(bytes)), shown_(std::move(shownName)) {
  auto refuse = [&](const std::string& reason) { throw PackError(shown_, "not a usable bootstrap stub: " + reason); };
  ByteView file(reinterpret_cast<const unsigned char*>(bytes_.data()), bytes_.size());
  PeHeaders headers = readPeHeaders(file);
  if (headers.fault == PeHeaderFault::noDosHeader) refuse("no DOS header");
  if (headers.fault == PeHeaderFault::noPeHeader) refuse("no PE header");
  fileHeader_ = headers.fileHeader;
  optionalHeader_ = headers.optionalHeader;
  if (headers.machine != MACHINE_AMD64) refuse("not an x86-64 image");
  uint16_t optionalSize = headers.optionalSize;
  if (optionalSize < OH_DIRECTORIES || !headers.optionalHeaderInFile ||
      littleEndianAt(bytes_, optionalHeader_ + OH_MAGIC, 2) != PE32_PLUS_MAGIC)
    refuse("not a PE32+ image");
  uint32_t directoryCount = littleEndianAt(bytes_, optionalHeader_ + OH_DIRECTORY_COUNT, 4);
  if (directoryCount <= SECURITY_DIRECTORY || OH_DIRECTORIES + 8 * directoryCount > optionalSize)
    refuse("too few data directories");
  size_t directorySizes = optionalHeader_ + OH_DIRECTORIES + 4;
  if (littleEndianAt(bytes_, directorySizes + 8 * SECURITY_DIRECTORY, 4) != 0) refuse("it is signed");
  if (littleEndianAt(bytes_, directorySizes + 8 * RESOURCE_DIRECTORY, 4) != 0) refuse("it has resources");
  if (littleEndianAt(bytes_, fileHeader_ + FH_SYMBOL_TABLE, 4) != 0) refuse("it is not stripped");
  sectionTable_ = headers.sectionTable;
  sectionCount_ = headers.sectionCount;
  sizeOfHeaders_ = littleEndianAt(bytes_, optionalHeader_ + OH_HEADERS_SIZE, 4);
  sectionAlignment_ = littleEndianAt(bytes_, optionalHeader_ + OH_SECTION_ALIGNMENT, 4);
  fileAlignment_ = littleEndianAt(bytes_, optionalHeader_ + OH_FILE_ALIGNMENT, 4);
  if (!isPowerOfTwo(sectionAlignment_) || !isPowerOfTwo(fileAlignment_)) refuse("odd alignments");
  if (sizeOfHeaders_ > bytes_.size() || uint64_t(sectionTable_) + SECTION_HEADER_SIZE * sectionCount_ > sizeOfHeaders_)
    refuse("its section table lies outside its headers");

  uint64_t nextAddress = alignUp32(sizeOfHeaders_, sectionAlignment_);
  uint64_t endOfRaw = sizeOfHeaders_;
  uint32_t firstRaw = UINT32_MAX;
  for (uint16_t i = 0; i < sectionCount_; ++i) {
    PeSection section = peSection(file, headers, i);
    if (section.virtualAddress < nextAddress) refuse("its sections are not in address order");
    nextAddress = alignUp(uint64_t(section.virtualAddress) + std::max(section.virtualSize, section.rawSize),
                          sectionAlignment_);
    if (section.rawSize == 0) continue;
    firstRaw = std::min(firstRaw, section.rawOffset);
    endOfRaw = std::max(endOfRaw, uint64_t(section.rawOffset) + section.rawSize);
  }
  if (endOfRaw != bytes_.size()) refuse("data follows its last section");
  // Two more section headers must fit before the first section's data.
  if (uint64_t(sectionTable_) + SECTION_HEADER_SIZE * (sectionCount_ + 2u) > std::min(sizeOfHeaders_, firstRaw))
    refuse("no room in its headers for two more sections");
  nextVirtualAddress_ = static_cast<uint32_t>(nextAddress);
  endOfRawData_ = static_cast<uint32_t>(endOfRaw);
}

// Each added section starts on a page in the file, as in memory: a loader can
// then map it straight from the file, where one that starts elsewhere must be
// read into private memory (Wine reads the whole payload at every start and
// keeps it while the application runs). The gap costs less than a page.
void StubImage::place(std::vector<NewSection>* sections) const {
  uint64_t fileStep = std::max<uint64_t>(fileAlignment_, MAPPED_PAGE);
  uint64_t address = nextVirtualAddress_, raw = alignUp(endOfRawData_, fileStep);
  for (NewSection& section : *sections) {
    section.virtualAddress = static_cast<uint32_t>(address);
    section.rawOffset = static_cast<uint32_t>(raw);
    address = alignUp(address + section.virtualSize, sectionAlignment_);
    raw = alignUp(raw + alignUp(section.virtualSize, fileAlignment_), fileStep);
  }
}

uint64_t StubImage::imageSize(const std::vector<NewSection>& sections) const {
  if (sections.empty()) return nextVirtualAddress_;
  const NewSection& last = sections.back();
  return alignUp(uint64_t(last.virtualAddress) + last.virtualSize, sectionAlignment_);
}

std::string StubImage::headersWith(const std::vector<NewSection>& sections, int resourceSection,
                                   uint16_t subsystem) const {
  std::string headers = bytes_.substr(0, sizeOfHeaders_);
  uint32_t initialized = littleEndianAt(bytes_, optionalHeader_ + OH_INITIALIZED_DATA, 4);
  for (size_t i = 0; i < sections.size(); ++i) {
    const NewSection& section = sections[i];
    size_t at = sectionTable_ + SECTION_HEADER_SIZE * (sectionCount_ + i);
    headers.replace(at, SECTION_HEADER_SIZE, SECTION_HEADER_SIZE, '\0');
    headers.replace(at, sizeof section.name, section.name, sizeof section.name);
    uint32_t rawSize = alignUp32(section.virtualSize, fileAlignment_);
    putLittleEndian(&headers, at + SH_VIRTUAL_SIZE, section.virtualSize, 4);
    putLittleEndian(&headers, at + SH_VIRTUAL_ADDRESS, section.virtualAddress, 4);
    putLittleEndian(&headers, at + SH_RAW_SIZE, rawSize, 4);
    putLittleEndian(&headers, at + SH_RAW_OFFSET, rawSize == 0 ? 0 : section.rawOffset, 4);
    putLittleEndian(&headers, at + SH_CHARACTERISTICS, section.characteristics, 4);
    if (section.characteristics & SCN_CNT_INITIALIZED_DATA) initialized += rawSize;
  }
  putLittleEndian(&headers, fileHeader_ + FH_SECTION_COUNT, sectionCount_ + sections.size(), 2);
  putLittleEndian(&headers, fileHeader_ + FH_TIME_STAMP, 0, 4);
  putLittleEndian(&headers, optionalHeader_ + OH_INITIALIZED_DATA, initialized, 4);
  putLittleEndian(&headers, optionalHeader_ + OH_IMAGE_SIZE, imageSize(sections), 4);
  putLittleEndian(&headers, optionalHeader_ + OH_CHECKSUM, 0, 4);
  putLittleEndian(&headers, optionalHeader_ + OH_SUBSYSTEM, subsystem, 2);
  if (resourceSection >= 0) {
    const NewSection& resources = sections[static_cast<size_t>(resourceSection)];
    size_t directory = optionalHeader_ + OH_DIRECTORIES + 8 * RESOURCE_DIRECTORY;
    putLittleEndian(&headers, directory, resources.virtualAddress, 4);
    putLittleEndian(&headers, directory + 4, resources.virtualSize, 4);
  }
  return headers;
}

uint32_t peChecksum(const unsigned char* data, size_t size, uint32_t checksumOffset) {
  uint64_t sum = 0;
  for (size_t i = 0; i + 1 < size; i += 2) {
    if (i == checksumOffset || i == checksumOffset + 2) continue;
    sum += uint32_t(data[i]) | uint32_t(data[i + 1]) << 8;
  }
  if (size % 2 != 0) sum += data[size - 1];
  while (sum >> 16) sum = (sum & 0xFFFF) + (sum >> 16);
  return static_cast<uint32_t>(sum + size);
}

}  // namespace onefile
