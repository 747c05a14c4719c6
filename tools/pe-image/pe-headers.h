// The one reading of a PE image's headers, bounded by the file: where the
// COFF header, the optional header and the section table lie, and the section
// headers themselves. What the headers must hold beyond that (machine, magic,
// alignments) is each caller's own rule.
#pragma once
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>

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

// The DOS header: the file's first bytes, "MZ" and the offset of the PE
// headers at DOS_NEW_HEADER_FIELD.
inline constexpr uint32_t DOS_HEADER_SIZE = DOS_NEW_HEADER_FIELD + 4;
// Where the DOS header says the PE headers start; nullopt without one.
std::optional<uint64_t> peHeadersOffset(ByteView file);
// The most bytes of those headers that say whether a file is a program and
// where its signature lies: "PE\0\0", the COFF header, the largest optional
// header.
inline constexpr uint64_t PE_HEADERS_SPAN = sizeof PE_SIGNATURE + FILE_HEADER_SIZE + 0xFFFF;

// A small stand-in for a file whose headers lie far in, for a reader that
// has only dosHeader (DOS_HEADER_SIZE bytes) and headers (up to
// PE_HEADERS_SPAN bytes from where the DOS header points): the DOS header
// pointing right after itself, then the headers. Those name file offsets
// only, such as the signature's, which the move leaves as they were.
std::string headersMovedUp(ByteView dosHeader, ByteView headers);

// The index-th section header; headers.sectionTableInFile must hold and index
// be below headers.sectionCount.
PeSection peSection(ByteView file, const PeHeaders& headers, size_t index);

}  // namespace onefile
