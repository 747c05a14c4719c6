#include "test-support.h"

#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <stdexcept>

#include "payload-io/checksum.h"
#include "payload-io/payload-file.h"

namespace testing_support {

ScratchFolder::ScratchFolder(const std::string& suffix) {
  const testing::TestInfo* test = testing::UnitTest::GetInstance()->current_test_info();
  std::string name = std::string(test->test_suite_name()) + "." + test->name();
  for (char& c : name)
    if (c == '/') c = '_';
  path_ = fs::temp_directory_path() / ("onefile-host-" + std::to_string(getpid()) + "-" + name + suffix);
  fs::remove_all(path_);
  fs::create_directories(path_);
}

ScratchFolder::~ScratchFolder() {
  std::error_code ignored;  // a folder left behind is harmless
  fs::remove_all(path_, ignored);
}

std::vector<std::string> entriesOf(const fs::path& folder) {
  std::vector<std::string> names;
  for (const fs::directory_entry& entry : fs::directory_iterator(folder)) names.push_back(entry.path().filename());
  std::sort(names.begin(), names.end());
  return names;
}

size_t lineCount(const std::string& text) { return static_cast<size_t>(std::count(text.begin(), text.end(), '\n')); }

std::string shellQuote(const std::string& text) {
  std::string quoted = "'";
  for (char c : text) quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
  return quoted + "'";
}

CommandResult runShell(const std::string& command) {
  char pattern[] = "/tmp/onefile-host-run-XXXXXX";
  if (mkdtemp(pattern) == nullptr) throw std::runtime_error("mkdtemp failed");
  fs::path folder = pattern;
  std::string full = command + " >" + shellQuote((folder / "out").string()) + " 2>" +
                     shellQuote((folder / "err").string()) + " </dev/null";
  int raw = std::system(full.c_str());
  CommandResult result;
  result.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
  result.out = readFile(folder / "out");
  result.err = readFile(folder / "err");
  fs::remove_all(folder);
  return result;
}

std::string packPath() { return ONEFILE_PACK_PATH; }

CommandResult runPack(const std::vector<std::string>& arguments) {
  std::string command = shellQuote(packPath());
  for (const std::string& argument : arguments) command += " " + shellQuote(argument);
  return runShell(command);
}

CommandResult packFolder(const fs::path& app, const fs::path& output, const std::string& main) {
  return runPack({"payload", app.string(), "--main", main, "-o", output.string(), "--level", "3"});
}

std::vector<DecodedRecord> readRecords(const fs::path& file) {
  onefile::PayloadFile payload(file);
  std::unique_ptr<onefile::DecodedStream> stream = payload.openStream();
  onefile::RecordReader reader(*stream);
  std::vector<DecodedRecord> records;
  while (std::optional<onefile::RecordEntry> header = reader.next()) {
    DecodedRecord record{header->name, header->size, header->checksum, {}};
    reader.readContent(header->size, [&](const unsigned char* bytes, size_t size) {
      record.content.append(reinterpret_cast<const char*>(bytes), size);
    });
    records.push_back(std::move(record));
  }
  return records;
}

uint32_t crc32Of(const std::string& bytes) {
  return onefile::crc32Update(onefile::CRC32_INITIAL, reinterpret_cast<const unsigned char*>(bytes.data()), bytes.size());
}

std::string programImage(uint16_t subsystem, uint16_t machine) {
  constexpr size_t PE_HEADER = 0x40, OPTIONAL_HEADER = PE_HEADER + 24, OPTIONAL_SIZE = 240, HEADERS_SIZE = 0x200;
  std::string image(HEADERS_SIZE, '\0');
  auto put = [&](size_t at, uint32_t value, int size) {
    for (int i = 0; i < size; ++i) image[at + i] = static_cast<char>(value >> (8 * i));
  };
  image[0] = 'M', image[1] = 'Z';
  put(0x3C, PE_HEADER, 4);
  image.replace(PE_HEADER, 4, std::string("PE\0\0", 4));
  put(PE_HEADER + 4, machine, 2);
  put(PE_HEADER + 4 + 16, OPTIONAL_SIZE, 2);
  put(PE_HEADER + 4 + 18, 0x22, 2);  // executable, large addresses
  put(OPTIONAL_HEADER, 0x20B, 2);    // PE32+
  put(OPTIONAL_HEADER + 32, 0x1000, 4);
  put(OPTIONAL_HEADER + 36, 0x200, 4);
  put(OPTIONAL_HEADER + 56, 0x1000, 4);
  put(OPTIONAL_HEADER + 60, HEADERS_SIZE, 4);
  put(OPTIONAL_HEADER + 68, subsystem, 2);
  put(OPTIONAL_HEADER + 108, 16, 4);  // data directories, all empty
  return image;
}

}  // namespace testing_support
