// payload-fixture OUT_DIR
// Writes every test payload as NAME.payload with its decoded stream as
// NAME.stream, and an application folder app/ for onefile-pack to pack.
#include <cstdio>
#include <fstream>

#include "fixtures.h"

namespace {

void writeFile(const std::filesystem::path& path, const std::string& bytes) {
  std::ofstream out(path, std::ios::binary);
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  if (!out) throw std::runtime_error("cannot write " + path.string());
}

}  // namespace

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
