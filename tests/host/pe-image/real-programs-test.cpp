// The traits of whole programs, checked against what tools this project did
// not write report about the same files: objdump (subsystem), windres
// (version and strings) and wrestool (the first icon group as an .ico file).
#include <gtest/gtest.h>

#include <optional>
#include <regex>

#include "executable/application-resources.h"
#include "program-samples.h"
#include "test-support.h"
#include "host/utf.h"

namespace {

using namespace program_samples;
using testing_support::CommandResult;
using testing_support::readFile;

// What another tool reports of a program: COMMAND run with the program's path last.
CommandResult reportOn(const std::string& command, const fs::path& program) {
  return testing_support::runShell(command + " " + testing_support::shellQuote(program.string()));
}

std::string firstMatch(const std::string& text, const std::string& pattern) {
  std::smatch match;
  return std::regex_search(text, match, std::regex(pattern)) ? match[1].str() : "";
}

uint16_t subsystemByObjdump(const fs::path& program) {
  CommandResult headers = reportOn("x86_64-w64-mingw32-objdump -p", program);
  EXPECT_EQ(headers.status, 0) << headers.err;
  return static_cast<uint16_t>(std::stoul(firstMatch(headers.out, "Subsystem\t\t([0-9a-f]{8})"), nullptr, 16));
}

// A string of a resource script as windres writes it: "" for a quote, and
// octal escapes for code units outside ASCII (in L"..." strings).
std::string unescaped(const std::string& text) {
  std::u16string units;
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '"') {
      ++i;  // the second of a doubled quote
    } else if (text[i] == '\\' && i + 1 < text.size() && text[i + 1] >= '0' && text[i + 1] <= '7') {
      size_t digits = 1;
      while (digits < 6 && i + 1 + digits < text.size() && text[i + 1 + digits] >= '0' && text[i + 1 + digits] <= '7')
        ++digits;
      units += static_cast<char16_t>(std::stoul(text.substr(i + 1, digits), nullptr, 8));
      i += digits;
      continue;
    } else if (text[i] == '\\' && i + 1 < text.size()) {
      ++i;
    }
    units += static_cast<char16_t>(static_cast<unsigned char>(text[i]));
  }
  return onefile::utf16ToUtf8(units);
}

struct ResourceScript {
  std::optional<std::array<uint16_t, 4>> version;
  std::string company, description, product, copyright;
};

// The first version resource's numbers and strings as windres writes them out.
ResourceScript resourcesByWindres(const fs::path& program) {
  CommandResult rc = reportOn("x86_64-w64-mingw32-windres -O rc -i", program);
  ResourceScript script;
  if (rc.err.find("no resource section") != std::string::npos) return script;
  EXPECT_EQ(rc.status, 0) << rc.err;
  std::smatch version;
  if (std::regex_search(rc.out, version, std::regex(" FILEVERSION (\\d+), (\\d+), (\\d+), (\\d+)")))
    script.version = std::array<uint16_t, 4>{uint16_t(std::stoul(version[1])), uint16_t(std::stoul(version[2])),
                                             uint16_t(std::stoul(version[3])), uint16_t(std::stoul(version[4]))};
  auto value = [&](const char* key) {
    return unescaped(firstMatch(rc.out, std::string("VALUE \"") + key + "\", L?\"((?:[^\"]|\"\")*)\""));
  };
  script.company = value("CompanyName");
  script.description = value("FileDescription");
  script.product = value("ProductName");
  script.copyright = value("LegalCopyright");
  return script;
}

// The first icon group, in directory order, extracted by wrestool as an .ico
// file; empty without one. wrestool writes as many bytes again as the group
// resource holds after the last image: the file is taken as far as its
// directory reaches.
std::string iconByWrestool(const fs::path& program) {
  CommandResult groups = reportOn("wrestool -l -t 14", program);
  EXPECT_EQ(groups.status, 0) << "wrestool (icoutils) is needed: " << groups.err;
  std::string name = firstMatch(groups.out, "--name=(\\S+)");
  if (name.empty()) return "";
  CommandResult icon = reportOn("wrestool -x -t 14 -n " + name, program);
  EXPECT_EQ(icon.status, 0) << icon.err;
  const std::string& ico = icon.out;
  size_t count = ico.size() < 6 ? 0 : field(ico, 4, 2), end = 6 + 16 * count;
  for (size_t i = 0; i < count && 6 + 16 * (i + 1) <= ico.size(); ++i)
    end = std::max<size_t>(end, field(ico, 6 + 16 * i + 12, 4) + field(ico, 6 + 16 * i + 8, 4));
  EXPECT_LE(end, ico.size());
  return ico.substr(0, end);
}

std::string icoFileOf(const std::vector<onefile::IconImage>& images) {
  if (images.empty()) return "";
  std::string ico("\0\0\1\0", 4);
  ico += static_cast<char>(images.size()), ico += '\0';
  for (const onefile::IconImage& image : images) ico += image.directoryEntry;
  for (const onefile::IconImage& image : images) ico += image.data;
  return ico;
}

struct RealProgram {
  const char* label;
  fs::path path;
  uint16_t subsystem;
  std::optional<std::array<uint16_t, 4>> version;
  bool hasIcon;
};

TEST(ProgramTraits, RealProgramsReadAsOtherToolsReportThem) {
  testing_support::ScratchFolder folder;
  testing_support::writeFile(folder / "written.exe", written());
  const RealProgram programs[] = {
      {"7-Zip's console program", sevenZip(), 3, std::array<uint16_t, 4>{21, 7, 0, 0}, false},
      {"Wine's registry editor", wineProgram("regedit.exe"), 2, std::array<uint16_t, 4>{5, 2, 3790, 0}, true},
      {"Wine's minesweeper (an icon, no version)", wineProgram("winemine.exe"), 2, std::nullopt, true},
      {"a small program mingw-w64 and windres built",
       fs::path(FUZZ_REGRESSIONS_DIR) / "program" / "small-program-with-icons-and-version", 3,
       std::array<uint16_t, 4>{1, 2, 3, 4}, true},
      {"the bootstrap stub (no resources)", bootstrapStub(), 2, std::nullopt, false},
      {"an executable the project wrote", folder / "written.exe", 2, WRITTEN_VERSION, true},
  };
  for (const RealProgram& program : programs) {
    SCOPED_TRACE(program.label);
    ASSERT_TRUE(fs::exists(program.path)) << program.path;
    onefile::ProgramTraits traits = traitsOf(readFile(program.path));
    EXPECT_EQ(traits.warnings, std::vector<std::string>{});
    EXPECT_EQ(traits.subsystem, program.subsystem);
    EXPECT_EQ(traits.subsystem, subsystemByObjdump(program.path));
    EXPECT_EQ(traits.fileVersion, program.version);
    ResourceScript script = resourcesByWindres(program.path);
    EXPECT_EQ(traits.fileVersion, script.version);
    EXPECT_EQ(traits.company, script.company);
    EXPECT_EQ(traits.description, script.description);
    EXPECT_EQ(traits.product, script.product);
    EXPECT_EQ(traits.copyright, script.copyright);
    EXPECT_EQ(!traits.icon.empty(), program.hasIcon);
    std::string ico = icoFileOf(traits.icon);
    EXPECT_TRUE(ico == iconByWrestool(program.path)) << "the icon differs from wrestool's, " << ico.size() << " bytes";
  }
}

TEST(ProgramTraits, AWrittenProgramGivesBackWhatItWasWrittenWith) {
  onefile::ProgramTraits traits = traitsOf(written());
  EXPECT_EQ(traits.company, WRITTEN_COMPANY);
  EXPECT_EQ(traits.description, WRITTEN_DESCRIPTION);
  EXPECT_EQ(traits.product, WRITTEN_PRODUCT);
  EXPECT_EQ(traits.copyright, WRITTEN_COPYRIGHT);
  // The icon's resources come out as the default icon's did.
  std::vector<onefile::Resource> expected = onefile::iconResources(onefile::defaultIcon());
  std::vector<onefile::Resource> again = onefile::iconResources(traits.icon);
  ASSERT_EQ(again.size(), expected.size());
  for (size_t i = 0; i < again.size(); ++i) {
    EXPECT_EQ(again[i].type, expected[i].type);
    EXPECT_EQ(again[i].id, expected[i].id);
    EXPECT_TRUE(again[i].data == expected[i].data) << "resource " << i;
  }
  for (size_t i = 0; i < traits.icon.size(); ++i) {
    EXPECT_EQ(traits.icon[i].width, onefile::defaultIcon()[i].width);
    EXPECT_EQ(traits.icon[i].height, onefile::defaultIcon()[i].height);
  }
}

TEST(ProgramTraits, VersionTextLeavesOutAZeroFourthNumber) {
  const std::pair<std::array<uint16_t, 4>, const char*> cases[] = {{{21, 7, 0, 0}, "21.7.0"},
                                                                   {{1, 2, 3, 4}, "1.2.3.4"},
                                                                   {{0, 0, 0, 0}, "0.0.0"},
                                                                   {{65535, 0, 65535, 65535}, "65535.0.65535.65535"}};
  for (const auto& [version, text] : cases) EXPECT_EQ(onefile::fileVersionText(version), text);
}

}  // namespace
