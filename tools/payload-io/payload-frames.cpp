// payload-frames FILE
// Prints where the frames of the payload in FILE (a payload file or an
// executable carrying one) lie, as "OFFSET SIZE" in bytes from the file's
// start, so that scripts cutting the bare frames out take the bounds from
// the packer instead of repeating them.
#include <cstdio>
#include <exception>

#include "payload-io/payload-file.h"

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: payload-frames FILE\n");
    return 2;
  }
  try {
    onefile::PayloadFile payload(std::filesystem::u8path(argv[1]));
    onefile::FrameBounds frames = onefile::frameBounds(payload.location().length);
    std::printf("%zu %zu\n", payload.location().offset + frames.offset, frames.size);
  } catch (const std::exception& error) {
    std::fprintf(stderr, "payload-frames: %s\n", error.what());
    return 1;
  }
  return 0;
}
