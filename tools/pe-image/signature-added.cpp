#include "pe-image/signature-added.h"

#include <algorithm>
#include <cstring>
#include <optional>
#include <utility>

#include "pe-image/authenticode.h"
#include "pe-image/pe-headers.h"
#include "pe-image/pe-layout.h"

namespace onefile {
namespace {

// A certificate table starts on an 8-byte boundary of the file.
constexpr uint64_t TABLE_ALIGNMENT = 8;
constexpr uint32_t CHECKSUM_SIZE = 4;

struct Skipped {
  uint64_t offset, size;
};

// The first offset in [from, to) at which a and b differ; to when none.
uint64_t firstDifference(const unsigned char* a, const unsigned char* b, uint64_t from, uint64_t to) {
  if (from >= to || std::memcmp(a + from, b + from, to - from) == 0) return to;
  while (a[from] == b[from]) ++from;
  return from;
}

// The same outside the skipped ranges (in order, apart) and below end.
uint64_t firstDifferenceOutside(const unsigned char* a, const unsigned char* b, uint64_t end,
                                const Skipped (&skipped)[2]) {
  uint64_t at = 0;
  for (const Skipped& range : skipped) {
    uint64_t stop = std::min(range.offset, end);
    if (uint64_t found = firstDifference(a, b, at, stop); found < stop) return found;
    at = std::max(at, std::min(range.offset + range.size, end));
  }
  return firstDifference(a, b, at, end);
}

}  // namespace

SigningCheck checkSignatureAdded(ByteView before, ByteView after) {
  std::optional<FileRange> range = certificateTableRange(after);
  std::optional<ByteView> table = certificateTable(after);
  if (!range || !table || !signerOf(*table)) return {SigningResult::unsigned_, 0};
  std::optional<uint64_t> entry = securityEntryOffset(before);
  PeHeaders headers = readPeHeaders(before);
  uint64_t checksum = headers.optionalHeader + OH_CHECKSUM;
  if (!entry || headers.fault != PeHeaderFault::none) return {SigningResult::imageChanged, 0};
  Skipped skipped[2] = {{checksum, CHECKSUM_SIZE}, {*entry, SECURITY_ENTRY_SIZE}};
  if (skipped[1].offset < skipped[0].offset) std::swap(skipped[0], skipped[1]);
  uint64_t common = std::min<uint64_t>(before.size(), after.size());
  uint64_t first = firstDifferenceOutside(before.data(), after.data(), common, skipped);
  if (first < common) return {SigningResult::imageChanged, first};
  // The table must follow the image, aligned, and end the file.
  bool placed = range->offset >= before.size() && range->offset - before.size() < TABLE_ALIGNMENT &&
                range->offset + range->size == after.size();
  if (!placed) return {SigningResult::imageChanged, common};
  for (uint64_t at = before.size(); at < range->offset; ++at)
    if (after.data()[at] != 0) return {SigningResult::imageChanged, at};
  return {SigningResult::signatureAdded, 0};
}

}  // namespace onefile
