// Shared helpers of the host tests: scratch folders, files, running
// onefile-pack, and reading payloads back.
#pragma once
#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#include "file-bytes.h"

namespace testing_support {

namespace fs = std::filesystem;

// A fresh folder, removed with everything in it at the end of the test.
class ScratchFolder {
 public:
  explicit ScratchFolder(const std::string& suffix = "");
  ~ScratchFolder();
  const fs::path& path() const { return path_; }
  fs::path operator/(const std::string& relative) const { return path_ / relative; }

 private:
  fs::path path_;
};

using host_test::readFile;
using host_test::writeFile;
// Names of the entries directly in folder, sorted.
std::vector<std::string> entriesOf(const fs::path& folder);

struct CommandResult {
  int status = -1;
  std::string out;
  std::string err;
};

// The number of line ends in a command's output.
size_t lineCount(const std::string& text);

std::string shellQuote(const std::string& text);
CommandResult runShell(const std::string& command);
// Runs the onefile-pack built beside these tests.
CommandResult runPack(const std::vector<std::string>& arguments);
// onefile-pack payload of the folder at level 3, quick for tests.
CommandResult packFolder(const fs::path& app, const fs::path& output, const std::string& main = "app.exe");
std::string packPath();

struct DecodedRecord {
  std::u16string name;
  uint64_t size = 0;
  uint32_t checksum = 0;
  std::string content;
};

// Every file record of the payload in a payload file or executable.
std::vector<DecodedRecord> readRecords(const fs::path& file);

uint32_t crc32Of(const std::string& bytes);

// The smallest program image Windows would take: DOS, COFF and PE32+ optional
// headers and no section, with the given Subsystem (2 GUI, 3 console) and
// machine. It carries no resources.
constexpr uint16_t MACHINE_X86_64 = 0x8664, MACHINE_I386 = 0x14c;
std::string programImage(uint16_t subsystem, uint16_t machine = MACHINE_X86_64);

}  // namespace testing_support
