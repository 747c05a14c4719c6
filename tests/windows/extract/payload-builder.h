// Payloads made in the test itself, for record streams that the packer would
// never write: stored checksums of the test's choosing, over-long names.
// The frame holds its bytes in raw (uncompressed) blocks.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

namespace payload_builder {

struct Record {
  std::wstring name;
  std::string content;
  uint32_t storedChecksum;
};

// CRC-32 (reflected 0xEDB88320), computed bit by bit.
uint32_t crc32Of(const std::string& bytes);

// A record storing its content's true CRC-32.
Record fileRecord(const std::wstring& name, const std::string& content);

// "ZBX", one zstd frame of the records and an end record, the trailer.
std::vector<unsigned char> buildPayload(const std::vector<Record>& records);

}  // namespace payload_builder
