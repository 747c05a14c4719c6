#include "random-folder.h"

#include <string>

#include "file-bytes.h"
#include "fixtures.h"
#include "host/utf.h"
#include "xorshift.h"

namespace mutations {
namespace {

// Letters a name may use on Windows and Linux alike: Latin, Cyrillic, Greek,
// CJK, a combining mark, characters outside the BMP, and a few symbols.
const char32_t NAME_LETTERS[] = {U'a', U'Z', U'0', U'-', U'_', U' ', U'.', U'\u00e9', U'\u00df', U'\u0436', U'\u044f',
                                 U'\u03a9', U'\u4e2d', U'\u6587', U'\u3042', U'\u0301', U'\U0001F600', U'\U00020BB7',
                                 U'\u20ac', U'(', U'['};
constexpr size_t MAX_FILES = 40;
constexpr size_t MAX_DEPTH = 12;
constexpr size_t MAX_NAME_LETTERS = 24;
constexpr size_t LARGE_FILE_BYTES = 5 * 1024 * 1024;

uint32_t next(uint32_t* state) { return test_data::nextRandom(state); }

std::string randomName(uint32_t* state) {
  std::u32string name;
  size_t letters = 1 + next(state) % MAX_NAME_LETTERS;
  for (size_t i = 0; i < letters; ++i) name += NAME_LETTERS[next(state) % std::size(NAME_LETTERS)];
  // Windows drops trailing dots and blanks, and a mark cannot start a name.
  while (!name.empty() && (name.back() == U'.' || name.back() == U' ')) name.pop_back();
  if (name.empty() || name.front() == U'\u0301') name.insert(name.begin(), U'n');
  std::u16string utf16;
  for (char32_t c : name) {
    if (c > 0xFFFF) {
      utf16 += static_cast<char16_t>(0xD800 + ((c - 0x10000) >> 10));
      utf16 += static_cast<char16_t>(0xDC00 + ((c - 0x10000) & 0x3FF));
    } else {
      utf16 += static_cast<char16_t>(c);
    }
  }
  return onefile::utf16ToUtf8(utf16);
}

size_t randomSize(uint32_t* state) {
  switch (next(state) % 6) {
    case 0: return 0;
    case 1: return next(state) % 16;
    case 2: case 3: return next(state) % 70000;
    case 4: return next(state) % 600000;
    default: return next(state) % LARGE_FILE_BYTES;
  }
}

}  // namespace

void writeRandomFolder(const std::filesystem::path& out, const std::filesystem::path& mainExe, uint32_t seed) {
  uint32_t state = seed * 2654435761u + 1;
  std::filesystem::create_directories(out);
  std::filesystem::copy_file(mainExe, out / "app.exe");
  size_t files = 1 + next(&state) % MAX_FILES;
  for (size_t i = 0; i < files; ++i) {
    std::filesystem::path folder = out;
    for (size_t depth = next(&state) % (MAX_DEPTH + 1); depth > 0; --depth) folder /= randomName(&state);
    std::filesystem::path path = folder / (randomName(&state) + "." + std::to_string(i));
    if (std::filesystem::exists(path) || std::filesystem::is_regular_file(folder)) continue;
    std::filesystem::create_directories(folder);
    size_t size = randomSize(&state);
    std::string bytes = next(&state) % 2 ? fixtures::randomBytes(size, next(&state)) : fixtures::textBytes(size, next(&state));
    host_test::writeFile(path, bytes);
  }
}

}  // namespace mutations
