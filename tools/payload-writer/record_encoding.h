// Byte encoding of the decoded record stream: file records (name, size,
// checksum, content) and the end record.
#pragma once
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace onefile {

// Everything of a file record that comes before its content: the name in
// UTF-16LE with its zero unit, the size (u64 LE), the stored checksum (u32 LE).
std::string encodeRecordHeader(std::u16string_view name, uint64_t size, uint32_t storedChecksum);

// The end record: one zero code unit.
std::string encodeEndRecord();

void appendLittleEndian(std::string* out, uint64_t value, unsigned bytes);
// A little-endian field of the given width inside a byte string, read or
// overwritten in place; the field must lie within the string.
uint64_t littleEndianAt(const std::string& data, size_t offset, unsigned bytes);
void putLittleEndian(std::string* data, size_t offset, uint64_t value, unsigned bytes);
// UTF-16LE code units and a terminating zero unit.
void appendZeroTerminatedUtf16(std::string* out, std::u16string_view text);

}  // namespace onefile
