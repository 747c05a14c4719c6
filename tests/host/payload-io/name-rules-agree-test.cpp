// The bootstrap's check that a record name stays inside the target folder and
// names no device, against the packer's own rule for names: every name the packer writes must
// pass, and every name that leads out of the folder must not.
#include <gtest/gtest.h>

#include <string>

#include "payload/name-inside-folder.h"
#include "payload-io/windows-names.h"

namespace {

bool insideFolder(std::u16string_view name) {
  std::wstring wide(name.begin(), name.end());
  return isNameInsideFolder(wide.c_str());
}

TEST(RecordNameCheck, PassesEveryNameThePackerWritesAndNoneThatLeavesTheFolder) {
  struct Case {
    std::u16string name;
    bool inside;
  };
  const Case cases[] = {
      {u"app.exe", true},
      {u"lib\\one.dll", true},
      {u".hidden", true},
      {u"..config\\x..y\\a b.txt", true},
      {u"caf\u00e9\\\u4e2d\u6587\U0001F600.txt", true},
      {u"..\\escaped.txt", false},
      {u"sub\\..\\..\\escaped.txt", false},
      {u".\\escaped.txt", false},
      {u"sub\\.", false},
      {u"sub/../../escaped.txt", false},
      {u"sub\\.. \\x", false},
      {u"...\\x", false},
      {u" \\x", false},
      {u"C:\\escaped.txt", false},
      {u"C:escaped.txt", false},
      {u"main.exe:stream", false},
      {u"\\escaped.txt", false},
      {u"/escaped.txt", false},
      {u"a\\\\b.txt", false},
      {u"sub\\", false},
      {u"sub/", false},
      // Names Windows reads as a device, in any component, any case, with
      // or without an extension; their look-alikes are ordinary files.
      {u"CON", false},
      {u"sub\\nul.txt", false},
      {u"lpt1\\x.txt", false},
      {u"lib\\Com\u00b2.dll", false},
      {u"AUX .log", false},
      {u"CONSOLE.txt", true},
      {u"lib\\COM10.dll", true},
      {u"nul_\\x", true},
      {u"xcon.txt", true},
  };
  for (const Case& c : cases) {
    std::string shown(c.name.begin(), c.name.end());  // enough to tell the cases apart
    EXPECT_EQ(insideFolder(c.name), c.inside) << shown;
    // The packer accepts exactly the names of these that the bootstrap takes.
    EXPECT_EQ(onefile::recordNameProblem(c.name).has_value(), !c.inside) << shown;
  }
}

}  // namespace
