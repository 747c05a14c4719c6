#include "payload-io/record-encoding.h"

#include "payload/format.h"

namespace onefile {

std::string encodeRecordHeader(std::u16string_view name, uint64_t size, uint32_t storedChecksum) {
  std::string out;
  out.reserve((name.size() + 1) * RECORD_NAME_UNIT_BYTES + RECORD_SIZE_BYTES + RECORD_CHECKSUM_BYTES);
  for (char16_t unit : name) appendLittleEndian(&out, unit, RECORD_NAME_UNIT_BYTES);
  appendLittleEndian(&out, 0, RECORD_NAME_UNIT_BYTES);
  appendLittleEndian(&out, size, RECORD_SIZE_BYTES);
  appendLittleEndian(&out, storedChecksum, RECORD_CHECKSUM_BYTES);
  return out;
}

std::string encodeEndRecord() { return std::string(RECORD_NAME_UNIT_BYTES, '\0'); }

}  // namespace onefile
