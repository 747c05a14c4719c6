#include "checksum.h"

#include <zlib.h>

#include <algorithm>
#include <climits>

namespace onefile {

uint32_t crc32Update(uint32_t crc, const void* bytes, size_t size) {
  const auto* data = static_cast<const Bytef*>(bytes);
  while (size > 0) {
    uInt piece = static_cast<uInt>(std::min<size_t>(size, UINT_MAX));
    crc = static_cast<uint32_t>(crc32(crc, data, piece));
    data += piece;
    size -= piece;
  }
  return crc;
}

}  // namespace onefile
