// Little-endian fields and UTF-16LE text in byte strings: what the payload's
// records and the executable's headers and resources are written with.
#pragma once
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace onefile {

void appendLittleEndian(std::string* out, uint64_t value, unsigned bytes);
// A little-endian field of the given width inside a byte string, read or
// overwritten in place; the field must lie within the string.
uint64_t littleEndianAt(const std::string& data, size_t offset, unsigned bytes);
void putLittleEndian(std::string* data, size_t offset, uint64_t value, unsigned bytes);
// UTF-16LE code units and a terminating zero unit.
void appendZeroTerminatedUtf16(std::string* out, std::u16string_view text);

}  // namespace onefile
