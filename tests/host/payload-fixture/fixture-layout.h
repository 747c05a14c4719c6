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

// The frame-check payloads ("check-*") all carry these files, in this order.
// "check-sound" is intact; "check-stored" and "check-checksum" are damaged,
// in a stored block and in the frame's content checksum. "check-unchecked"
// has no content checksum. "check-compressed" holds only CHECKED_MAIN and a
// CHECKED_TEXT of COMPRESSED_TEXT_SIZE bytes, damaged in a compressed block
// so that only the text's content decodes differently.
inline constexpr char16_t CHECKED_MAIN[] = u"main.exe";
inline constexpr char16_t CHECKED_BLOB[] = u"data\\blob.bin";
inline constexpr char16_t CHECKED_TEXT[] = u"notes.txt";
inline constexpr size_t CHECKED_BLOB_SIZE = 3 * READER_BLOCK / 2;
inline constexpr size_t CHECKED_TEXT_SIZE = 40000;
inline constexpr size_t COMPRESSED_TEXT_SIZE = 6000;

// "after-end" and "after-end-unchecked": a frame whose record stream is
// followed by a further frame of this many bytes, which no reader may decode.
inline constexpr size_t FURTHER_FRAME_BYTES = 64;

// "exact-fill" (and "exact-fill-bad-checksum", whose checksum is damaged): a
// record stream of exactly two reader blocks, so that the end record fills the
// block that holds it to its last byte; decoded bytes follow it in the frame.
inline constexpr uint64_t EXACT_FILL_STREAM = 2 * READER_BLOCK;

// "escape-N": main.exe, then a record named ESCAPING_NAMES[N]; "escape-first"
// starts with ESCAPING_NAMES[0]. Each would lead out of the target folder or
// be read by Windows as something else than a file below it.
inline constexpr const char16_t* ESCAPING_NAMES[] = {
    u"..\\escaped.txt", u"sub\\..\\..\\escaped.txt", u"C:\\escaped.txt", u"\\escaped.txt",
    u"main.exe:stream",  u"a\\\\b.txt",           u"sub/../../escaped.txt", u".\\escaped.txt",
    u"sub\\.. \\..\\escaped.txt", u"/escaped.txt", u"sub\\",             u"..",
    u"CON",               u"sub\\nul.txt",
};
inline constexpr size_t ESCAPING_NAME_COUNT = sizeof ESCAPING_NAMES / sizeof ESCAPING_NAMES[0];

}  // namespace fixture_layout
