// The one reading of a PE image's headers, bounded by the file: where the
// COFF header, the optional header and the section table lie, and the section
// headers themselves. What the headers must hold beyond that (machine, magic,
// alignments) is each caller's own rule.
#pragma once
#include <cstddef>
#include <cstdint>

#include "host/byte-view.h"
#include "pe-image/pe-layout.h"

namespace onefile {

enum class PeHeaderFault {
  none,
  noDosHeader,  // too short for a DOS header, or no "MZ"
  noPeHeader,   // the DOS header points nowhere, or not at "PE\0\0" and a whole COFF header
};

struct PeHeaders {
  PeHeaderFault fault = PeHeaderFault::noDosHeader;
  uint32_t fileHeader = 0;  // the COFF header, after "PE\0\0"
  uint32_t optionalHeader = 0;
  uint32_t sectionTable = 0;  // right after the optional header
  uint16_t machine = 0;
  uint16_t sectionCount = 0;
  uint16_t optionalSize = 0;
  bool optionalHeaderInFile = false;  // all optionalSize bytes of it
  bool sectionTableInFile = false;    // all sectionCount headers
};

struct PeSection {
  char name[8];
  uint32_t virtualSize = 0;
  uint32_t virtualAddress = 0;
  uint32_t rawSize = 0;
  uint32_t rawOffset = 0;
  uint32_t characteristics = 0;
};

PeHeaders readPeHeaders(ByteView file);

// The index-th section header; headers.sectionTableInFile must hold and index
// be below headers.sectionCount.
PeSection peSection(ByteView file, const PeHeaders& headers, size_t index);

}  // namespace onefile
