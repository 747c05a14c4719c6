// The "index-*" payloads: three groups of files, each frame after its index,
// sound and damaged in the index or in a frame that a warm start steps over.
#include "index-fixtures.h"

#include <stdexcept>

#include "fixture-layout.h"
#include "host/byte-fields.h"
#include "payload-io/index-encoding.h"
#include "payload-io/payload-assembler.h"
#include "payload-io/record-encoding.h"
#include "payload/crc32.h"
#include "payload/format.h"

namespace fixtures {
namespace {

using Groups = std::vector<Files>;

Groups indexGroups() {
  using fixture_layout::SHORT_CONTENT;
  return {{{u"main.exe", SHORT_CONTENT}, {u"a\\one.bin", randomBytes(200000, 21)}},
          {{u"a\\two.txt", textBytes(50000, 22)}, {u"b\\empty", ""}},
          {{u"b\\three.bin", randomBytes(150000, 23)}}};
}

struct Frame {
  std::string entries;  // as the index holds them
  std::string frame;
};

// A group's frame and the entries of its index.
Frame frameOf(const Files& files, bool last) {
  Frame made;
  std::string stream = recordStream(files, last);
  made.frame = payloadOfFrames(stream, {});
  made.frame = made.frame.substr(PAYLOAD_MAGIC_SIZE, made.frame.size() - PAYLOAD_MAGIC_SIZE - PAYLOAD_TRAILER_SIZE);
  for (const auto& [name, content] : files) {
    std::string record = recordStream({{name, content}}, false);
    made.entries += record.substr(0, record.size() - content.size());
  }
  if (last) made.entries += onefile::encodeEndRecord();
  return made;
}

std::string assemble(const std::vector<std::string>& parts) {
  onefile::StringSink sink;
  onefile::PayloadAssembler assembler(sink);
  for (const std::string& part : parts) assembler.appendBytes(part);
  assembler.finish();
  return sink.bytes();
}

// The index's checksum made again after a change to its fields, so that only
// what the change says is wrong.
void resealIndex(std::string* index) {
  size_t checked = index->size() - INDEX_CHECKSUM_BYTES;
  onefile::putLittleEndian(index, checked,
                           crc32Update(0, reinterpret_cast<const unsigned char*>(index->data()), checked),
                           INDEX_CHECKSUM_BYTES);
}

}  // namespace

std::vector<Fixture> indexFixtures() {
  Groups groups = indexGroups();
  std::string stream;
  std::vector<Frame> frames;
  for (size_t g = 0; g < groups.size(); ++g) {
    frames.push_back(frameOf(groups[g], g + 1 == groups.size()));
    stream += recordStream(groups[g], g + 1 == groups.size());
  }
  // parts: index, frame, index, frame, ...
  auto partsWith = [&](auto change) {
    std::vector<std::string> parts;
    for (const Frame& frame : frames) {
      parts.push_back(onefile::encodeIndexFrame(frame.frame.size(), frame.entries));
      parts.push_back(frame.frame);
    }
    change(&parts);
    return assemble(parts);
  };
  constexpr size_t SECOND_INDEX = 2, SECOND_FRAME = 3;
  std::vector<Fixture> all;
  all.push_back({"index-sound", partsWith([](std::vector<std::string>*) {}), stream});
  // A byte in the middle of the second frame: zstd refuses the frame, or its
  // checksum does, whenever it is decoded.
  all.push_back({"index-frame-damaged", partsWith([](std::vector<std::string>* parts) {
                   std::string& frame = (*parts)[SECOND_FRAME];
                   frame[frame.size() / 2] = static_cast<char>(frame[frame.size() / 2] ^ 0x10);
                 }),
                 stream});
  all.push_back({"index-bad-checksum", partsWith([](std::vector<std::string>* parts) {
                   std::string& index = (*parts)[SECOND_INDEX];
                   index.back() = static_cast<char>(index.back() ^ 1);
                 }),
                 stream});
  // A frame size that leaves the payload, with a checksum that holds.
  all.push_back({"index-beyond", partsWith([](std::vector<std::string>* parts) {
                   std::string& index = (*parts)[SECOND_INDEX];
                   onefile::putLittleEndian(&index, INDEX_MAGIC_BYTES + INDEX_LENGTH_BYTES, uint64_t{1} << 32,
                                            INDEX_FRAME_SIZE_BYTES);
                   resealIndex(&index);
                 }),
                 stream});
  // Indexes that are sound by themselves but disagree with their frames: a
  // checksum that is not the record's, and an entry left out.
  all.push_back({"index-other-checksum", partsWith([&](std::vector<std::string>* parts) {
                   Files changed = groups[1];
                   changed[0].second[0] ^= 1;
                   (*parts)[SECOND_INDEX] = onefile::encodeIndexFrame((*parts)[SECOND_FRAME].size(),
                                                                      frameOf(changed, false).entries);
                 }),
                 stream});
  all.push_back({"index-entry-missing", partsWith([&](std::vector<std::string>* parts) {
                   (*parts)[SECOND_INDEX] = onefile::encodeIndexFrame((*parts)[SECOND_FRAME].size(),
                                                                      frameOf({groups[1][0]}, false).entries);
                 }),
                 stream});
  // The third frame without its index.
  all.push_back({"index-missing", partsWith([](std::vector<std::string>* parts) { parts->erase(parts->begin() + 4); }),
                 stream});
  return all;
}

}  // namespace fixtures
