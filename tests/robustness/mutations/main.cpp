// payload-mutations app-folder OUT_DIR MAIN_EXE
//   Writes the suite's application folder: the payload tests' assorted files
//   (Unicode names, block-straddling sizes, an empty file) with MAIN_EXE as
//   its main program app.exe.
// payload-mutations random-folder OUT_DIR MAIN_EXE SEED
//   Writes a random application folder (the round-trip property's input).
// payload-mutations checked-folder OUT_DIR MAIN_EXE many|large
//   Writes an application folder of that shape whose main program checks
//   every file against the list it carries (the concurrent starts' input).
// payload-mutations mutate APP_DIR MAIN_PROGRAM PACKED_PAYLOAD OUT_DIR [--every N]
//   Writes the damaged payloads of a packed application as OUT_DIR/NNNN.payload
//   and lists them in OUT_DIR/manifest.tsv (number, kind, what was done).
//   --every N keeps every N-th mutation only: a quick slice of the same list.
#include <cstdio>
#include <fstream>
#include <stdexcept>
#include <string>

#include "file-bytes.h"
#include "checked-folder.h"
#include "fixtures.h"
#include "mutations.h"
#include "random-folder.h"

namespace {

using host_test::readFile;
using host_test::writeFile;

const char USAGE[] =
    "usage: payload-mutations app-folder OUT_DIR MAIN_EXE\n"
    "       payload-mutations random-folder OUT_DIR MAIN_EXE SEED\n"
    "       payload-mutations checked-folder OUT_DIR MAIN_EXE many|large\n"
    "       payload-mutations mutate APP_DIR MAIN_PROGRAM PACKED_PAYLOAD OUT_DIR [--every N]\n";

void writeAppFolder(const std::filesystem::path& out, const std::filesystem::path& mainExe) {
  std::filesystem::remove_all(out);
  fixtures::writeAppFolder(out);
  std::filesystem::copy_file(mainExe, out / "app.exe", std::filesystem::copy_options::overwrite_existing);
}

void writeMutations(char** args, size_t every) {
  std::vector<mutations::Mutation> all = mutations::byteMutations(readFile(args[2]));
  std::vector<mutations::Mutation> records = mutations::recordMutations(mutations::readAppFolder(args[0], args[1]));
  all.insert(all.end(), records.begin(), records.end());

  std::filesystem::path out = args[3];
  std::filesystem::remove_all(out);
  std::filesystem::create_directories(out);
  std::ofstream manifest(out / "manifest.tsv");
  for (size_t i = 0; i < all.size(); i += every) {
    char number[24];
    std::snprintf(number, sizeof number, "%04zu", i);
    writeFile(out / (std::string(number) + ".payload"), all[i].payload);
    manifest << number << '\t' << all[i].kind << '\t' << all[i].description << '\n';
  }
  if (!manifest.flush()) throw std::runtime_error("cannot write the manifest");
}

}  // namespace

int main(int argc, char** argv) {
  std::string command = argc > 1 ? argv[1] : "";
  bool folder = command == "app-folder" && argc == 4;
  bool random = command == "random-folder" && argc == 5;
  bool checked = command == "checked-folder" && argc == 5;
  bool mutate = command == "mutate" && (argc == 6 || (argc == 8 && std::string(argv[6]) == "--every"));
  if (!folder && !random && !checked && !mutate) {
    std::fputs(USAGE, stderr);
    return 2;
  }
  try {
    if (folder) {
      writeAppFolder(argv[2], argv[3]);
    } else if (random) {
      std::filesystem::remove_all(argv[2]);
      mutations::writeRandomFolder(argv[2], argv[3], static_cast<uint32_t>(std::stoul(argv[4])));
    } else if (checked) {
      mutations::writeCheckedFolder(argv[2], argv[3], argv[4]);
    } else {
      size_t every = argc == 8 ? std::stoul(argv[7]) : 1;
      if (every == 0) throw std::runtime_error("--every needs a number above 0");
      writeMutations(argv + 2, every);
    }
  } catch (const std::exception& error) {
    std::fprintf(stderr, "payload-mutations: %s\n", error.what());
    return 1;
  }
  return 0;
}
