// crc32Update against zlib's crc32, whose results stored payloads rely on:
// every length around the folding path's steps, every start alignment,
// continued values, and a large buffer taken whole and in uneven parts.
#include <gtest/gtest.h>
#include <zlib.h>

#include <string>

#include "payload/crc32.h"
#include "xorshift.h"

namespace {

uint32_t zlibCrc(uint32_t crc, const unsigned char* bytes, size_t length) {
  return (uint32_t)crc32(crc, bytes, (uInt)length);
}

TEST(Crc32Update, GivesZlibsValueForEveryLengthAndAlignment) {
  std::string bytes = test_data::randomBytes(700, 1);
  const unsigned char* base = reinterpret_cast<const unsigned char*>(bytes.data());
  for (size_t offset = 0; offset < 16; ++offset)
    for (size_t length = 0; length + offset <= 600; ++length)
      for (uint32_t start : {0u, 0xFFFFFFFFu, 0x1234ABCDu})
        ASSERT_EQ(crc32Update(start, base + offset, length), zlibCrc(start, base + offset, length))
            << "offset " << offset << ", length " << length << ", from " << start;
}

TEST(Crc32Update, GivesZlibsValueForLargeBuffersTakenWholeOrInParts) {
  std::string bytes = test_data::randomBytes(9 << 20, 2);
  const unsigned char* base = reinterpret_cast<const unsigned char*>(bytes.data());
  uint32_t whole = zlibCrc(0, base, bytes.size());
  EXPECT_EQ(crc32Update(0, base, bytes.size()), whole);
  uint32_t crc = 0;
  size_t done = 0;
  for (size_t part = 1; done < bytes.size(); part = part * 3 + 7) {
    size_t length = part < bytes.size() - done ? part : bytes.size() - done;
    crc = crc32Update(crc, base + done, length);
    done += length;
  }
  EXPECT_EQ(crc, whole);
  std::string zeros(1 << 20, '\0');  // long runs of one value fold differently from noise
  EXPECT_EQ(crc32Update(0, reinterpret_cast<const unsigned char*>(zeros.data()), zeros.size()),
            zlibCrc(0, reinterpret_cast<const unsigned char*>(zeros.data()), zeros.size()));
}

}  // namespace
