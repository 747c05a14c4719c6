#include "pe-image/pe-headers.h"

#include <algorithm>
#include <cstring>

#include "host/byte-fields.h"

namespace onefile {

std::optional<uint64_t> peHeadersOffset(ByteView file) {
  if (!file.holds(0, DOS_HEADER_SIZE) || file.data()[0] != 'M' || file.data()[1] != 'Z') return std::nullopt;
  return file.field(DOS_NEW_HEADER_FIELD, 4);
}

std::string headersMovedUp(ByteView dosHeader, ByteView headers) {
  std::string moved(reinterpret_cast<const char*>(dosHeader.data()), std::min<size_t>(dosHeader.size(), DOS_HEADER_SIZE));
  if (moved.size() < DOS_HEADER_SIZE) return moved;
  putLittleEndian(&moved, DOS_NEW_HEADER_FIELD, DOS_HEADER_SIZE, 4);
  moved.append(reinterpret_cast<const char*>(headers.data()), std::min<uint64_t>(headers.size(), PE_HEADERS_SPAN));
  return moved;
}

PeHeaders readPeHeaders(ByteView file) {
  PeHeaders headers;
  std::optional<uint64_t> offset = peHeadersOffset(file);
  if (!offset) return headers;
  headers.fault = PeHeaderFault::noPeHeader;
  uint64_t pe = *offset;
  if (!file.holds(pe, sizeof PE_SIGNATURE + FILE_HEADER_SIZE) ||
      std::memcmp(file.data() + pe, PE_SIGNATURE, sizeof PE_SIGNATURE) != 0)
    return headers;
  headers.fault = PeHeaderFault::none;
  headers.fileHeader = static_cast<uint32_t>(pe + sizeof PE_SIGNATURE);
  headers.optionalHeader = headers.fileHeader + FILE_HEADER_SIZE;
  headers.machine = static_cast<uint16_t>(*file.field(headers.fileHeader + FH_MACHINE, 2));
  headers.sectionCount = static_cast<uint16_t>(*file.field(headers.fileHeader + FH_SECTION_COUNT, 2));
  headers.optionalSize = static_cast<uint16_t>(*file.field(headers.fileHeader + FH_OPTIONAL_SIZE, 2));
  headers.sectionTable = headers.optionalHeader + headers.optionalSize;
  headers.optionalHeaderInFile = file.holds(headers.optionalHeader, headers.optionalSize);
  headers.sectionTableInFile = file.holds(headers.sectionTable, uint64_t(SECTION_HEADER_SIZE) * headers.sectionCount);
  return headers;
}

PeSection peSection(ByteView file, const PeHeaders& headers, size_t index) {
  ByteView header = *file.part(headers.sectionTable + uint64_t(SECTION_HEADER_SIZE) * index, SECTION_HEADER_SIZE);
  PeSection section;
  std::memcpy(section.name, header.data(), sizeof section.name);
  section.virtualSize = static_cast<uint32_t>(*header.field(SH_VIRTUAL_SIZE, 4));
  section.virtualAddress = static_cast<uint32_t>(*header.field(SH_VIRTUAL_ADDRESS, 4));
  section.rawSize = static_cast<uint32_t>(*header.field(SH_RAW_SIZE, 4));
  section.rawOffset = static_cast<uint32_t>(*header.field(SH_RAW_OFFSET, 4));
  section.characteristics = static_cast<uint32_t>(*header.field(SH_CHARACTERISTICS, 4));
  return section;
}

}  // namespace onefile
