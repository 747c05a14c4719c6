#include "program-samples.h"

#include <gtest/gtest.h>

#include <cstdlib>

#include "executable/application-resources.h"
#include "executable/embedded-files.h"
#include "executable/executable-writer.h"
#include "pe-image/pe-layout.h"
#include "test-support.h"

namespace program_samples {

const char* const WRITTEN_COMPANY = "Acme Ltd";
const char* const WRITTEN_DESCRIPTION =
    "Gr\xc3\xbc\xc3\x9f"
    "e aus K\xc3\xb6ln \"quoted\"";
const char* const WRITTEN_PRODUCT = "Tool Suite";
const char* const WRITTEN_COPYRIGHT = "(c) 2026 Acme";
const std::array<uint16_t, 4> WRITTEN_VERSION = {3, 1, 4, 15};

// The set-up's dependencies: where DEPS_DIR says, else the build's own folder.
fs::path sevenZip() {
  const char* deps = std::getenv("DEPS_DIR");
  return fs::path(deps && *deps ? deps : ONEFILE_DEFAULT_DEPS_DIR) / "windows-programs" / "7za.exe";
}
fs::path wineProgram(const char* name) { return fs::path(WINE_PROGRAMS_DIR) / name; }
fs::path bootstrapStub() { return ONEFILE_STUB_PATH; }

std::string written() {
  static const std::string bytes = [] {
    testing_support::ScratchFolder folder;
    onefile::StubImage stub(std::string(onefile::embeddedFile(onefileStub, onefileStubEnd)), "stub");
    onefile::ApplicationIdentity identity{"Written",           WRITTEN_VERSION, WRITTEN_COMPANY,
                                          WRITTEN_DESCRIPTION, WRITTEN_PRODUCT, WRITTEN_COPYRIGHT};
    onefile::ExecutableContent content{u"{CACHE_DIR}\\Written", u"3.1.4.15", u"Written",
                                       onefile::applicationResources(identity, onefile::defaultIcon())};
    fs::path exe = folder / "written.exe";
    onefile::ExecutableWriter writer(stub, content, exe);
    writer.finish();
    return testing_support::readFile(exe);
  }();
  return bytes;
}

onefile::ProgramTraits traitsOf(const std::string& bytes) {
  return onefile::readProgramTraits(reinterpret_cast<const unsigned char*>(bytes.data()), bytes.size(), "app.exe");
}

uint64_t field(const std::string& bytes, size_t offset, unsigned width) {
  uint64_t value = 0;
  for (unsigned i = width; i-- > 0;) value = value << 8 | static_cast<unsigned char>(bytes.at(offset + i));
  return value;
}

void putField(std::string* bytes, size_t offset, uint64_t value, unsigned width) {
  for (unsigned i = 0; i < width; ++i) bytes->at(offset + i) = static_cast<char>(value >> (8 * i));
}

size_t coffHeader(const std::string& bytes) { return field(bytes, onefile::DOS_NEW_HEADER_FIELD, 4) + 4; }

size_t resourceDirectory(const std::string& bytes) {
  size_t coff = coffHeader(bytes);
  size_t optional = coff + onefile::FILE_HEADER_SIZE;
  uint64_t address = field(bytes, optional + onefile::OH_DIRECTORIES + 8 * onefile::RESOURCE_DIRECTORY, 4);
  size_t table = optional + field(bytes, coff + onefile::FH_OPTIONAL_SIZE, 2);
  for (size_t i = 0; i < field(bytes, coff + onefile::FH_SECTION_COUNT, 2); ++i) {
    size_t header = table + onefile::SECTION_HEADER_SIZE * i;
    if (field(bytes, header + onefile::SH_VIRTUAL_ADDRESS, 4) == address)
      return field(bytes, header + onefile::SH_RAW_OFFSET, 4);
  }
  ADD_FAILURE() << "no section starts with the resource directory";
  return 0;
}

size_t offsetOf(const std::string& bytes, const std::string& wanted) {
  size_t at = bytes.find(wanted);
  EXPECT_NE(at, std::string::npos);
  return at == std::string::npos ? 0 : at;
}

std::string utf16(const std::string& ascii) {
  std::string out;
  for (char c : ascii) out += std::string(1, c) + '\0';
  return out;
}

}  // namespace program_samples
