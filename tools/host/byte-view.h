// A read-only window on bytes that never reads outside itself: every field
// and every part is asked for by offset and length and checked against the
// window first, so that a parser of another program's bytes cannot overrun.
#pragma once
#include <cstddef>
#include <cstdint>
#include <optional>

#include "payload/format.h"

namespace onefile {

class ByteView {
 public:
  ByteView() = default;
  ByteView(const unsigned char* data, size_t size) : data_(data), size_(size) {}

  const unsigned char* data() const { return data_; }
  size_t size() const { return size_; }

  // True when [offset, offset + length) lies within the window.
  bool holds(uint64_t offset, uint64_t length) const { return offset <= size_ && length <= size_ - offset; }

  // A little-endian field of 1 to 8 bytes; nullopt when it does not lie within.
  std::optional<uint64_t> field(uint64_t offset, unsigned bytes) const {
    if (!holds(offset, bytes)) return std::nullopt;
    return readLittleEndian(data_ + offset, bytes);
  }

  // The window's bytes from offset on, length of them; nullopt when they do not lie within.
  std::optional<ByteView> part(uint64_t offset, uint64_t length) const {
    if (!holds(offset, length)) return std::nullopt;
    return ByteView(data_ + offset, static_cast<size_t>(length));
  }

 private:
  const unsigned char* data_ = nullptr;
  size_t size_ = 0;
};

}  // namespace onefile
