#include "payload-io/payload-locator.h"

#include <algorithm>
#include <cstring>

#include "payload/format.h"
#include "pe-image/pe-headers.h"
#include "payload-io/record-encoding.h"
#include "resources/attached.h"

namespace onefile {
namespace {

// True when the trailer's length field at lengthField says that the payload
// starts at start.
bool trailerCountsBackTo(const unsigned char* data, size_t start, size_t lengthField) {
  for (unsigned i = 1; i <= PAYLOAD_TRAILER_ZERO_BYTES; ++i)
    if (data[lengthField - i] != 0) return false;
  return readLittleEndian(data + lengthField, PAYLOAD_LENGTH_FIELD_BYTES) == lengthField - start;
}

}  // namespace

std::optional<SectionBytes> attachedSection(const unsigned char* data, size_t size) {
  ByteView file(data, size);
  PeHeaders headers = readPeHeaders(file);
  if (headers.fault != PeHeaderFault::none || !headers.sectionTableInFile) return std::nullopt;
  for (size_t i = 0; i < headers.sectionCount; ++i) {
    PeSection section = peSection(file, headers, i);
    if (std::memcmp(section.name, ATTACHED_SECTION_NAME, sizeof ATTACHED_SECTION_NAME) != 0) continue;
    size_t held = std::min(section.virtualSize, section.rawSize);
    if (section.rawOffset > size) return std::nullopt;
    return SectionBytes{section.rawOffset, std::min(held, size - section.rawOffset)};
  }
  return std::nullopt;
}

namespace {

std::optional<PayloadLocation> payloadInSection(const unsigned char* data, const SectionBytes& section) {
  // Another program's section may start anywhere in the file: the header is
  // read from an aligned copy.
  alignas(AttachedDataHeader) unsigned char copy[ATTACHED_HEADER_SIZE];
  if (section.size < sizeof copy) return std::nullopt;
  std::memcpy(copy, data + section.offset, sizeof copy);
  const AttachedDataHeader* header;
  if (!findAttachedDataHeader(copy, section.size, &header)) return std::nullopt;
  uint64_t offset = header->payloadOffset;
  uint64_t length = header->payloadSize;
  if (offset > section.size || length > section.size - offset) return std::nullopt;
  size_t start = section.offset + static_cast<size_t>(offset);
  bool trailerValid = length >= PAYLOAD_MAGIC_SIZE + PAYLOAD_TRAILER_SIZE &&
                      trailerCountsBackTo(data, start, start + length - PAYLOAD_LENGTH_FIELD_BYTES);
  return PayloadLocation{start, static_cast<size_t>(length), true, trailerValid, header->flags};
}

}  // namespace

FrameBounds frameBounds(size_t length) {
  if (length < PAYLOAD_MAGIC_SIZE) return FrameBounds{length, 0};
  size_t afterMagic = length - PAYLOAD_MAGIC_SIZE;
  size_t trailer = afterMagic >= PAYLOAD_TRAILER_SIZE ? PAYLOAD_TRAILER_SIZE : 0;
  return FrameBounds{PAYLOAD_MAGIC_SIZE, afterMagic - trailer};
}

std::optional<PayloadLocation> locatePayload(const unsigned char* data, size_t size) {
  if (size >= PAYLOAD_MAGIC_SIZE && std::memcmp(data, PAYLOAD_MAGIC, PAYLOAD_MAGIC_SIZE) == 0) {
    bool trailerValid = size >= PAYLOAD_MAGIC_SIZE + PAYLOAD_TRAILER_SIZE &&
                        trailerCountsBackTo(data, 0, size - PAYLOAD_LENGTH_FIELD_BYTES);
    return PayloadLocation{0, size, false, trailerValid};
  }
  std::optional<SectionBytes> section = attachedSection(data, size);
  if (!section) return std::nullopt;
  return payloadInSection(data, *section);
}

std::optional<uint64_t> peSectionsEnd(const unsigned char* data, size_t size) {
  ByteView file(data, size);
  PeHeaders headers = readPeHeaders(file);
  if (headers.fault != PeHeaderFault::none || !headers.sectionTableInFile) return std::nullopt;
  uint64_t end = 0;
  for (size_t i = 0; i < headers.sectionCount; ++i) {
    PeSection section = peSection(file, headers, i);
    end = std::max(end, uint64_t{section.rawOffset} + section.rawSize);
  }
  return end;
}

}  // namespace onefile
