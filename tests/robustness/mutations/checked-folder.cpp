#include "checked-folder.h"

#include <cstdio>
#include <stdexcept>
#include <vector>

#include "payload-io/checksum.h"
#include "file-bytes.h"
#include "fixtures.h"

namespace mutations {
namespace {

struct Shape {
  const char* name;
  size_t files;
  size_t folders;
  size_t largestBytes;
};

// Many small files in a few folders, with empty ones among them; or a few
// files large enough that writing one takes a while, as a program's
// libraries do.
constexpr Shape SHAPES[] = {
    {"many", 600, 24, 40000},
    {"large", 4, 1, 24 * 1024 * 1024},
};

const Shape& shapeNamed(const std::string& name) {
  for (const Shape& shape : SHAPES)
    if (name == shape.name) return shape;
  throw std::runtime_error("no folder shape '" + name + "' (many, large)");
}

std::string listLine(const std::string& bytes, const std::string& name) {
  uint32_t crc = onefile::crc32Update(onefile::CRC32_INITIAL, reinterpret_cast<const unsigned char*>(bytes.data()),
                                      bytes.size());
  char head[40];
  std::snprintf(head, sizeof head, "%08x %zu ", crc, bytes.size());
  return head + name + "\n";
}

}  // namespace

void writeCheckedFolder(const std::filesystem::path& out, const std::filesystem::path& mainExe,
                        const std::string& shapeName) {
  const Shape& shape = shapeNamed(shapeName);
  std::filesystem::remove_all(out);
  std::filesystem::create_directories(out);
  std::string list = listLine(host_test::readFile(mainExe), "app.exe");
  std::filesystem::copy_file(mainExe, out / "app.exe");
  for (size_t i = 0; i < shape.files; ++i) {
    std::string folder = "lib" + std::to_string(i % shape.folders);
    std::string name = folder + "\\file" + std::to_string(i) + ".bin";
    // Every seventh file is empty; the rest vary in size up to the largest.
    size_t size = i % 7 == 6 ? 0 : shape.largestBytes - (i * 7919) % (shape.largestBytes / 2);
    std::string bytes = fixtures::randomBytes(size, static_cast<uint32_t>(i));
    std::filesystem::create_directories(out / folder);
    host_test::writeFile(out / folder / ("file" + std::to_string(i) + ".bin"), bytes);
    list += listLine(bytes, name);
  }
  host_test::writeFile(out / FILE_LIST_NAME, list);
}

}  // namespace mutations
