// Byte encoding of the decoded record stream: file records (name, size,
// checksum, content) and the end record.
#pragma once
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "host/byte-fields.h"

namespace onefile {

// Everything of a file record that comes before its content: the name in
// UTF-16LE with its zero unit, the size (u64 LE), the stored checksum (u32 LE).
std::string encodeRecordHeader(std::u16string_view name, uint64_t size, uint32_t storedChecksum);

// The end record: one zero code unit.
std::string encodeEndRecord();

}  // namespace onefile
