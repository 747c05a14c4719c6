// The bootstrap's reading of its attached-data section: a well-formed one
// gives the payload and both texts in place; a malformed one is refused
// without a read past the section (it ends at a no-access page).
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "guarded-memory.h"
#include "resources/attached.h"
#include "resources/embedded.h"

namespace {

struct Layout {
  uint64_t payloadOffset = 80, payloadSize = 8;
  uint32_t templateOffset = 40, versionOffset = 54, nameOffset = 62;
  uint32_t flags = 0;
};

// Header, "{TEMP}" at 40, "1.7" at 54, "App" at 62, then an 8-byte payload at 80.
std::string section(const Layout& layout) {
  std::string bytes(88, '\0');
  AttachedDataHeader header{};
  header.payloadOffset = layout.payloadOffset;
  header.payloadSize = layout.payloadSize;
  header.templateOffset = layout.templateOffset;
  header.versionOffset = layout.versionOffset;
  header.nameOffset = layout.nameOffset;
  header.flags = layout.flags;
  encodeAttachedDataHeader(header, reinterpret_cast<unsigned char*>(&bytes[0]));
  const char16_t pathTemplate[] = u"{TEMP}", version[] = u"1.7", name[] = u"App";
  std::memcpy(&bytes[40], pathTemplate, sizeof pathTemplate);
  std::memcpy(&bytes[54], version, sizeof version);
  std::memcpy(&bytes[62], name, sizeof name);
  std::memcpy(&bytes[80], "ZBXframe", 8);
  return bytes;
}

TEST(AttachedSection, PointsThePayloadAndTextsIntoTheSection) {
  harness::GuardedRegion region(section(Layout{}));
  ASSERT_TRUE(useAttachedSection(region.data(), region.size()));
  EXPECT_EQ(onefilePayload, region.data() + 80);
  EXPECT_EQ(onefilePayloadSize, 8u);
  EXPECT_STREQ(onefilePathTemplate, L"{TEMP}");
  EXPECT_STREQ(onefileVersionText, L"1.7");
  EXPECT_STREQ(onefileApplicationName, L"App");
}

// The flags' choices; an executable built before the closing threads existed
// has no bits for them and closes on the unpacking thread.
TEST(AttachedSection, ReadsTheChoicesInTheFlags) {
  struct Case {
    uint32_t flags;
    bool progress, removes;
    unsigned closeThreads;
  };
  const Case cases[] = {{0, false, false, 0},
                        {ATTACHED_FLAG_PROGRESS_WINDOW | ATTACHED_FLAG_REMOVE_OLD_VERSIONS, true, true, 0},
                        {ATTACHED_FLAG_REMOVE_OLD_VERSIONS | attachedCloseThreadsFlags(8), false, true, 8},
                        {attachedCloseThreadsFlags(16), false, false, 16},
                        {ATTACHED_CLOSE_THREADS_MASK, false, false, 16}};  // 31 is read as the most
  for (const Case& c : cases) {
    Layout layout;
    layout.flags = c.flags;
    harness::GuardedRegion region(section(layout));
    ASSERT_TRUE(useAttachedSection(region.data(), region.size()));
    EXPECT_EQ(onefileShowsProgress, c.progress) << c.flags;
    EXPECT_EQ(onefileRemovesOldVersions, c.removes) << c.flags;
    EXPECT_EQ(onefileCloseThreads, c.closeThreads) << c.flags;
  }
}

TEST(AttachedSection, RefusesAMalformedSectionAndKeepsWhatItHad) {
  harness::GuardedRegion good(section(Layout{}));
  ASSERT_TRUE(useAttachedSection(good.data(), good.size()));
  struct Case {
    const char* what;
    std::string bytes;
  };
  std::string wrongTag = section(Layout{});
  wrongTag[7] ^= 1;
  Case cases[] = {
      {"shorter than its header", section(Layout{}).substr(0, 32)},
      {"wrong tag", wrongTag},
      {"payload past the end", section(Layout{80, 9, 40, 54, 62})},
      {"payload offset past the end", section(Layout{89, 0, 40, 54, 62})},
      {"template offset past the end", section(Layout{80, 8, 88, 54, 62})},
      {"odd text offset", section(Layout{80, 8, 41, 54, 62})},
      {"name offset past the end", section(Layout{80, 8, 40, 54, 88})},
      {"name without its zero unit", section(Layout{80, 8, 40, 54, 72})},
  };
  // The name's text runs to the section's end without a zero unit.
  cases[7].bytes.replace(72, 16, std::string(16, 'x'));
  for (const Case& c : cases) {
    harness::GuardedRegion region(c.bytes);
    EXPECT_FALSE(useAttachedSection(region.data(), region.size())) << c.what;
    EXPECT_EQ(onefilePayload, good.data() + 80) << c.what;
    EXPECT_STREQ(onefilePathTemplate, L"{TEMP}") << c.what;
  }
}

}  // namespace
