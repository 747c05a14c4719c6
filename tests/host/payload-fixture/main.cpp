// payload-fixture OUT_DIR
// Writes every test payload as NAME.payload with its decoded stream as
// NAME.stream, and an application folder app/ for onefile-pack to pack.
#include <cstdio>

#include "file-bytes.h"
#include "fixtures.h"

using host_test::writeFile;

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: payload-fixture OUT_DIR\n");
    return 2;
  }
  try {
    std::filesystem::path out = argv[1];
    std::filesystem::create_directories(out);
    for (const fixtures::Fixture& fixture : fixtures::allFixtures()) {
      writeFile(out / (fixture.name + ".payload"), fixture.payload);
      writeFile(out / (fixture.name + ".stream"), fixture.stream);
    }
    std::filesystem::remove_all(out / "app");
    fixtures::writeAppFolder(out / "app");
  } catch (const std::exception& error) {
    std::fprintf(stderr, "payload-fixture: %s\n", error.what());
    return 1;
  }
  return 0;
}
