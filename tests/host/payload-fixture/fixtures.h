// Payloads for the reader's and the extract tests, each with the decoded
// stream it carries.
// Made with the payload writer's own encoder and compressor; the damaged ones
// are damaged in a known place on purpose.
#pragma once
#include <filesystem>
#include <string>
#include <utility>
#include <vector>

#include "xorshift.h"

namespace fixtures {

struct Fixture {
  std::string name;
  std::string payload;  // the bytes a bootstrap would carry
  std::string stream;   // the decoded stream a correct reader delivers (up to any damage: all of it)
};

using Files = std::vector<std::pair<std::u16string, std::string>>;

// Deterministic bytes: "random" ones do not compress, "text" ones do.
using test_data::randomBytes;
std::string textBytes(size_t size, uint32_t seed);

// The records of files, followed by the end record when asked.
std::string recordStream(const Files& files, bool withEndRecord = true);

// A payload whose stream is cut into frames at the given decoded offsets,
// each with a content checksum unless asked otherwise.
std::string payloadOfFrames(const std::string& stream, const std::vector<size_t>& cuts, int windowLog = 27,
                            bool contentChecksum = true);

// Where the blocks of the frame that starts at `frame` in bytes lie: each
// block's content (after its 3-byte header), its size in bytes and its type
// (0 stored, 1 one repeated byte, 2 compressed). The frame has no dictionary
// ID and no content size, as the packer writes it.
struct FrameBlock {
  size_t contentAt;
  size_t size;
  unsigned type;
};
std::vector<FrameBlock> frameBlocks(const std::string& bytes, size_t frame);

// Every fixture the Windows tests use, by name.
std::vector<Fixture> allFixtures();

// An application folder with assorted files, for payloads made by onefile-pack.
void writeAppFolder(const std::filesystem::path& folder);

}  // namespace fixtures
