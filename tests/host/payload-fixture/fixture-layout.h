// Facts about the test payloads that payload-fixture makes, shared by the
// host tests and the Windows tests that read them.
#pragma once
#include <stddef.h>
#include <stdint.h>

#include <string>

#include "payload/record-cursor.h"

namespace fixture_layout {

// The decoder's output block in the bootstrap's reader.
inline constexpr uint64_t READER_BLOCK = PAYLOAD_OUTPUT_BLOCK_SIZE;

// "damaged": the compressed block that starts at this decoded offset has an
// invalid block type; everything before it decodes.
inline constexpr uint64_t DAMAGED_FROM = 2 * READER_BLOCK + 40000;

// "exact-block": the decoded stream is one reader block and a little more.
inline constexpr uint64_t EXACT_BLOCK_STREAM = READER_BLOCK + 50;

// The extract tests' payloads ("unpack-*") hold records that a packer would
// not write. Their small files hold SHORT_CONTENT.
inline constexpr char SHORT_CONTENT[] = "short content";

// Content whose CRC-32 is 0; "unpack-stored-zero" stores 0 for it.
inline constexpr char CRC_ZERO_CONTENT[] = "\x9d\x0a\xd9\x6d";

// "unpack-first-current": several decoder blocks and many content pieces.
inline std::string largeContent() {
  std::string bytes(300000, '\0');
  for (size_t i = 0; i < bytes.size(); ++i) bytes[i] = (char)(i * 7 + i / 251);
  return bytes;
}

// Four folders of 200 units and a file name: a record name of exactly
// `units` code units, in the host's UTF-16 strings or Windows' wide ones.
template <class String>
String nameOfLength(size_t units) {
  String name;
  for (int folder = 0; folder < 4; ++folder) name += String(200, 'n') + String(1, '\\');
  return name + String(units - name.size(), 'f');
}

// "unpack-deep-name": the length of the name after main.exe.
inline constexpr size_t DEEP_NAME_UNITS = 1000;

}  // namespace fixture_layout
