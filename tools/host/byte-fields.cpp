#include "host/byte-fields.h"

#include "payload/format.h"

namespace onefile {

void appendLittleEndian(std::string* out, uint64_t value, unsigned bytes) {
  for (unsigned i = 0; i < bytes; ++i) out->push_back(static_cast<char>((value >> (8 * i)) & 0xFF));
}

uint64_t littleEndianAt(const std::string& data, size_t offset, unsigned bytes) {
  return readLittleEndian(reinterpret_cast<const unsigned char*>(data.data()) + offset, bytes);
}

void putLittleEndian(std::string* data, size_t offset, uint64_t value, unsigned bytes) {
  for (unsigned i = 0; i < bytes; ++i) (*data)[offset + i] = static_cast<char>((value >> (8 * i)) & 0xFF);
}

void appendZeroTerminatedUtf16(std::string* out, std::u16string_view text) {
  for (char16_t unit : text) appendLittleEndian(out, unit, 2);
  appendLittleEndian(out, 0, 2);
}

}  // namespace onefile
