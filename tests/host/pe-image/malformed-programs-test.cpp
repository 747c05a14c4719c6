// Damaged copies of a written program: a fault in the headers refuses the
// program with one line, a fault in its resources gives one warning and
// leaves that item at its default, and nothing is ever read out of bounds
// (these tests run under the sanitizers in the fuzzers' build as well).
#include <gtest/gtest.h>

#include <functional>

#include "host/pack-error.h"
#include "pe-image/execution-level.h"
#include "pe-image/pe-layout.h"
#include "program-samples.h"

namespace {

using namespace program_samples;
using onefile::ProgramTraits;

size_t optionalHeader(const std::string& bytes) { return coffHeader(bytes) + onefile::FILE_HEADER_SIZE; }

// The version resource's root node and its CompanyName node.
size_t versionRoot(const std::string& bytes) { return offsetOf(bytes, utf16("VS_VERSION_INFO")) - 6; }
size_t companyNode(const std::string& bytes) { return offsetOf(bytes, utf16("CompanyName")) - 6; }
// The icon group's first entry's resource number (after the 6-byte header, at 12 in the 14-byte entry).
size_t firstGroupEntryId(const std::string& bytes) {
  std::vector<onefile::Resource> resources = onefile::iconResources(traitsOf(written()).icon);
  return offsetOf(bytes, resources.back().data) + 6 + 12;
}

struct HeaderFault {
  const char* label;
  std::function<void(std::string*)> damage;
  const char* reason;
};

TEST(ProgramTraits, HeaderFaultsRefuseTheProgramWithOneLine) {
  const HeaderFault faults[] = {
      {"no MZ", [](std::string* b) { (*b)[0] = 'X'; }, "not a Windows program (no MZ header)"},
      {"too short for a DOS header", [](std::string* b) { b->resize(0x3F); }, "not a Windows program (no MZ header)"},
      {"e_lfanew past the end", [](std::string* b) { putField(b, 0x3C, 0xFFFFFFF0u, 4); },
       "not a Windows program (no PE header)"},
      {"e_lfanew at the end", [](std::string* b) { putField(b, 0x3C, b->size() - 4, 4); },
       "not a Windows program (no PE header)"},
      {"e_lfanew at the DOS header", [](std::string* b) { putField(b, 0x3C, 0, 4); },
       "not a Windows program (no PE header)"},
      {"machine i386", [](std::string* b) { putField(b, coffHeader(*b), 0x14C, 2); },
       "not an x86-64 Windows program (a 32-bit one)"},
      {"machine ARM64", [](std::string* b) { putField(b, coffHeader(*b), 0xAA64, 2); },
       "not an x86-64 Windows program (an ARM64 one)"},
      {"machine unknown", [](std::string* b) { putField(b, coffHeader(*b), 0x1234, 2); },
       "not an x86-64 Windows program (its machine is 0x1234)"},
      {"PE32 magic", [](std::string* b) { putField(b, optionalHeader(*b), 0x10B, 2); },
       "not an x86-64 Windows program (a PE32 image, not PE32+)"},
      {"no optional header", [](std::string* b) { putField(b, coffHeader(*b) + onefile::FH_OPTIONAL_SIZE, 0, 2); },
       "not an x86-64 Windows program (no PE32+ optional header)"},
      {"optional header past the end", [](std::string* b) { b->resize(optionalHeader(*b) + 40); },
       "not an x86-64 Windows program (no PE32+ optional header)"},
  };
  for (const HeaderFault& fault : faults) {
    SCOPED_TRACE(fault.label);
    std::string bytes = written();
    fault.damage(&bytes);
    try {
      traitsOf(bytes);
      ADD_FAILURE() << "not refused";
    } catch (const onefile::PackError& error) {
      EXPECT_EQ(error.subject(), "app.exe");
      EXPECT_EQ(error.reason(), fault.reason);
    }
  }
}

struct ResourceFault {
  const char* label;
  std::function<void(std::string*)> damage;
  const char* warning;  // the start of each warning
  size_t warnings;      // one for each item that it damages
  bool iconKept, versionKept, stringsKept;
};

TEST(ProgramTraits, ResourceFaultsWarnOnceAndLeaveTheirItemAtItsDefault) {
  auto resourceEntry = [](const std::string& b) {
    return optionalHeader(b) + onefile::OH_DIRECTORIES + 8 * onefile::RESOURCE_DIRECTORY;
  };
  const ResourceFault faults[] = {
      {"resource address outside every section", [&](std::string* b) { putField(b, resourceEntry(*b), 0x7FFF0000, 4); },
       "its resource directory lies outside its sections in the file", 1, false, false, false},
      {"section table past the end",
       [](std::string* b) { putField(b, coffHeader(*b) + onefile::FH_SECTION_COUNT, 0xFFFF, 2); },
       "its section table lies outside the file", 1, false, false, false},
      {"root entry pointing at the root",
       [](std::string* b) {
         size_t root = resourceDirectory(*b);
         for (size_t i = 0; i < field(*b, root + 14, 2); ++i) putField(b, root + 16 + 8 * i + 4, 0x80000000u, 4);
       },
       "its resource directory is damaged (", 2, false, false, false},
      {"a language pointing at the root",
       [](std::string* b) {
         size_t root = resourceDirectory(*b);
         size_t names = root + (field(*b, root + 16 + 4, 4) & 0x7FFFFFFF);
         size_t languages = root + (field(*b, names + 16 + 4, 4) & 0x7FFFFFFF);
         putField(b, languages + 16 + 4, 0x80000000u, 4);
       },
       "its resource directory is damaged (it is deeper than three levels)", 1, false, true, true},
      {"huge entry counts", [](std::string* b) { putField(b, resourceDirectory(*b) + 12, 0xFFFFFFFFu, 4); },
       "its resource directory is damaged (a directory's entries run past its end)", 3, false, false, false},
      {"an empty icon image",
       [](std::string* b) {
         size_t root = resourceDirectory(*b);
         size_t names = root + (field(*b, root + 16 + 4, 4) & 0x7FFFFFFF);
         size_t languages = root + (field(*b, names + 16 + 4, 4) & 0x7FFFFFFF);
         putField(b, root + field(*b, languages + 16 + 4, 4) + 4, 0, 4);
       },
       "its icon group names icon 1, which is empty", 1, false, true, true},
      {"icon id missing", [](std::string* b) { putField(b, firstGroupEntryId(*b), 999, 2); },
       "its icon group names icon 999, which it does not hold", 1, false, true, true},
      {"icon group of a bad type", [](std::string* b) { putField(b, firstGroupEntryId(*b) - 12 - 4, 2, 2); },
       "its icon group has no icon group header", 1, false, true, true},
      {"icon group count past its end", [](std::string* b) { putField(b, firstGroupEntryId(*b) - 12 - 2, 40, 2); },
       "its icon group ends inside its entries", 1, false, true, true},
      {"icon group count too large", [](std::string* b) { putField(b, firstGroupEntryId(*b) - 12 - 2, 65535, 2); },
       "its icon group holds 65535 images; at most 64 are taken", 1, false, true, true},
      {"version root too long", [](std::string* b) { putField(b, versionRoot(*b), 0xFFFF, 2); },
       "its version resource is damaged (a node runs past its end)", 1, true, false, false},
      {"version root of length zero", [](std::string* b) { putField(b, versionRoot(*b), 0, 2); },
       "its version resource is damaged (a node is shorter than its header)", 1, true, false, false},
      {"string node too long", [](std::string* b) { putField(b, companyNode(*b), 0x7FFF, 2); },
       "its version resource is damaged (a node runs past its end)", 1, true, false, false},
      {"string node of length zero", [](std::string* b) { putField(b, companyNode(*b), 0, 2); },
       "its version resource is damaged (a node is shorter than its header)", 1, true, false, false},
      {"version root key changed", [](std::string* b) { (*b)[versionRoot(*b) + 6] = 'W'; },
       "its version resource is damaged (its root is not VS_VERSION_INFO)", 1, true, false, false},
      // Writers differ in how a string's value length counts: none of these is a fault.
      {"a string typed as binary", [](std::string* b) { putField(b, companyNode(*b) + 4, 0, 2); }, "", 0, true, true,
       true},
      {"a string's length in bytes", [](std::string* b) { putField(b, companyNode(*b) + 2, 18, 2); }, "", 0, true,
       true, true},
      {"a string's length without its zero", [](std::string* b) { putField(b, companyNode(*b) + 2, 8, 2); }, "", 0,
       true, true, true},
      {"fixed information with a bad signature",
       [](std::string* b) { putField(b, offsetOf(*b, std::string("\xBD\x04\xEF\xFE", 4)), 0xFEEF04BC, 4); },
       "its fixed file information has a wrong signature", 1, true, false, true},
      {"a manifest asking for a level Windows does not know",
       [](std::string* b) { b->replace(offsetOf(*b, "\"asInvoker\""), 11, "\"asNobody1\""); },
       "its manifest asks for the execution level 'asNobody1', which Windows does not know; the executable asks for "
       "asInvoker unless --execution-level says otherwise", 1, true, true, true},
  };
  for (const ResourceFault& fault : faults) {
    SCOPED_TRACE(fault.label);
    std::string bytes = written();
    fault.damage(&bytes);
    ProgramTraits traits = traitsOf(bytes);
    EXPECT_EQ(traits.warnings.size(), fault.warnings);
    for (const std::string& warning : traits.warnings) {
      EXPECT_EQ(warning.rfind(fault.warning, 0), 0u) << warning;
      EXPECT_EQ(warning.find('\n'), std::string::npos);
    }
    EXPECT_EQ(traits.subsystem, traitsOf(written()).subsystem);
    EXPECT_EQ(!traits.icon.empty(), fault.iconKept);
    EXPECT_EQ(traits.fileVersion.has_value(), fault.versionKept);
    EXPECT_EQ(traits.company, fault.stringsKept ? WRITTEN_COMPANY : "");
    EXPECT_EQ(traits.copyright, fault.stringsKept ? WRITTEN_COPYRIGHT : "");
  }
}

// The manifest is another program's text: only a requestedExecutionLevel
// element outside comments counts, and anything else says what it is in one
// line and asks for nothing.
TEST(ExecutionLevel, ReadFromTheFirstElementOutsideComments) {
  using onefile::ExecutionLevel;
  struct Case {
    std::string manifest;
    std::optional<ExecutionLevel> level;
    std::string fault;  // its start
  } cases[] = {
      {"<a><requestedExecutionLevel level=\"highestAvailable\" uiAccess=\"false\"/></a>",
       ExecutionLevel::highestAvailable, ""},
      {"<!-- <requestedExecutionLevel level=\"asInvoker\"/> --><v3:requestedExecutionLevel uiAccess='false'\n"
       "  level = 'requireAdministrator'/>",
       ExecutionLevel::requireAdministrator, ""},
      {"<![CDATA[<requestedExecutionLevel level=\"requireAdministrator\"/>]]><requestedPrivileges/>", std::nullopt, ""},
      {"<requestedExecutionLevelX level=\"requireAdministrator\"/>", std::nullopt, ""},
      {std::string("\xFF\xFE<\0r\0e\0q\0u\0e\0s\0t\0e\0d\0E\0x\0e\0c\0u\0t\0i\0o\0n\0L\0e\0v\0e\0l\0 \0"
                   "l\0e\0v\0e\0l\0=\0'\0a\0s\0I\0n\0v\0o\0k\0e\0r\0'\0/\0>\0", 90),
       ExecutionLevel::asInvoker, ""},
      {"<requestedExecutionLevel level=\"Administrator\"/>", std::nullopt,
       "its manifest asks for the execution level 'Administrator', which Windows does not know"},
      {"<requestedExecutionLevel uiAccess=\"false\"/>", std::nullopt, "its manifest's requestedExecutionLevel has no level"},
      {"<requestedExecutionLevel level=\"asInvoker", std::nullopt,
       "its manifest's requestedExecutionLevel element has a value without its closing quote"},
      {"<requestedExecutionLevel level asInvoker/>", std::nullopt,
       "its manifest's requestedExecutionLevel element cannot be read"},
      {"<!-- <requestedExecutionLevel level=\"requireAdministrator\"/>", std::nullopt, ""},
  };
  for (const Case& c : cases) {
    onefile::ExecutionLevelFound found = onefile::readExecutionLevel(
        onefile::ByteView(reinterpret_cast<const unsigned char*>(c.manifest.data()), c.manifest.size()));
    EXPECT_EQ(found.level, c.level) << c.manifest;
    EXPECT_EQ(found.fault.rfind(c.fault, 0), 0u) << found.fault;
    EXPECT_EQ(found.fault.empty(), c.fault.empty()) << found.fault;
  }
}

// Cut anywhere, a program is refused (in its headers), read with one warning
// (before its resources), read with a warning for each damaged item (inside
// them), or read whole (after them).
TEST(ProgramTraits, ATruncatedProgramIsRefusedOrReadWithWarningsAtEveryCut) {
  const std::string whole = written();
  const ProgramTraits complete = traitsOf(whole);
  size_t headersEnd = optionalHeader(whole) + field(whole, coffHeader(whole) + onefile::FH_OPTIONAL_SIZE, 2),
         resources = resourceDirectory(whole);
  size_t resourcesEnd =
      resources +
      field(whole, optionalHeader(whole) + onefile::OH_DIRECTORIES + 8 * onefile::RESOURCE_DIRECTORY + 4, 4);
  for (size_t cut = 0; cut <= resourcesEnd; cut += cut < headersEnd ? 1 : cut < resources ? 97 : 31) {
    SCOPED_TRACE("cut at " + std::to_string(cut));
    std::string bytes = whole.substr(0, cut);
    if (cut < headersEnd) {
      EXPECT_THROW(traitsOf(bytes), onefile::PackError);
      continue;
    }
    ProgramTraits traits = traitsOf(bytes);
    EXPECT_EQ(traits.subsystem, complete.subsystem);
    if (cut <= resources) {
      EXPECT_EQ(traits.warnings.size(), 1u);
      EXPECT_TRUE(traits.icon.empty());
      EXPECT_FALSE(traits.fileVersion);
    } else {
      EXPECT_LE(traits.warnings.size(), 3u);  // the icon, the version and the manifest
      EXPECT_EQ(traits.icon.empty(), traits.icon.size() != complete.icon.size());
    }
  }
  ProgramTraits atEnd = traitsOf(whole.substr(0, resourcesEnd));
  EXPECT_EQ(atEnd.warnings, std::vector<std::string>{});
  EXPECT_EQ(atEnd.company, WRITTEN_COMPANY);
  EXPECT_EQ(atEnd.icon.size(), complete.icon.size());
}

}  // namespace
