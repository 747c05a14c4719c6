#include "payload-builder.h"

namespace payload_builder {
namespace {

constexpr size_t RAW_BLOCK_MAX = 128 * 1024;

void putLittleEndian(std::string* out, uint64_t value, int bytes) {
  for (int i = 0; i < bytes; ++i) out->push_back((char)(value >> (8 * i)));
}

std::string recordStream(const std::vector<Record>& records) {
  std::string stream;
  for (const Record& record : records) {
    for (wchar_t unit : record.name) putLittleEndian(&stream, (uint16_t)unit, 2);
    putLittleEndian(&stream, 0, 2);
    putLittleEndian(&stream, record.content.size(), 8);
    putLittleEndian(&stream, record.storedChecksum, 4);
    stream += record.content;
  }
  putLittleEndian(&stream, 0, 2);  // the end record
  return stream;
}

// Magic, a frame header with a 128 KiB window and nothing else, raw blocks.
std::string rawFrame(const std::string& content) {
  std::string frame;
  putLittleEndian(&frame, 0xFD2FB528u, 4);
  frame.push_back('\x00');  // no content size, no checksum, no dictionary
  frame.push_back('\x38');  // window 2^17
  size_t offset = 0;
  do {
    size_t size = std::min(RAW_BLOCK_MAX, content.size() - offset);
    bool last = offset + size == content.size();
    putLittleEndian(&frame, (size << 3) | (last ? 1u : 0u), 3);  // raw block
    frame.append(content, offset, size);
    offset += size;
  } while (offset < content.size());
  return frame;
}

}  // namespace

uint32_t crc32Of(const std::string& bytes) {
  uint32_t crc = 0xFFFFFFFFu;
  for (unsigned char byte : bytes) {
    crc ^= byte;
    for (int bit = 0; bit < 8; ++bit) crc = (crc >> 1) ^ (0xEDB88320u & (0u - (crc & 1u)));
  }
  return ~crc;
}

Record fileRecord(const std::wstring& name, const std::string& content) { return {name, content, crc32Of(content)}; }

std::vector<unsigned char> buildPayload(const std::vector<Record>& records) {
  std::string payload = "ZBX" + rawFrame(recordStream(records));
  uint64_t front = payload.size() + 4;
  putLittleEndian(&payload, 0, 4);
  putLittleEndian(&payload, front, 8);
  return std::vector<unsigned char>(payload.begin(), payload.end());
}

}  // namespace payload_builder
