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
  uint64_t payloadOffset = 56, payloadSize = 8;
  uint32_t templateOffset = 32, versionOffset = 46;
};

// Header, "{TEMP}" at 32, "1.7" at 46, then an 8-byte payload at 56.
std::string section(const Layout& layout) {
  std::string bytes(64, '\0');
  AttachedDataHeader header{};
  header.payloadOffset = layout.payloadOffset;
  header.payloadSize = layout.payloadSize;
  header.templateOffset = layout.templateOffset;
  header.versionOffset = layout.versionOffset;
  encodeAttachedDataHeader(header, reinterpret_cast<unsigned char*>(&bytes[0]));
  const char16_t pathTemplate[] = u"{TEMP}", version[] = u"1.7";
  std::memcpy(&bytes[32], pathTemplate, sizeof pathTemplate);
  std::memcpy(&bytes[46], version, sizeof version);
  std::memcpy(&bytes[56], "ZBXframe", 8);
  return bytes;
}

TEST(AttachedSection, PointsThePayloadAndTextsIntoTheSection) {
  harness::GuardedRegion region(section(Layout{}));
  ASSERT_TRUE(useAttachedSection(region.data(), region.size()));
  EXPECT_EQ(onefilePayload, region.data() + 56);
  EXPECT_EQ(onefilePayloadSize, 8u);
  EXPECT_STREQ(onefilePathTemplate, L"{TEMP}");
  EXPECT_STREQ(onefileVersionText, L"1.7");
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
      {"shorter than its header", section(Layout{}).substr(0, 24)},
      {"wrong tag", wrongTag},
      {"payload past the end", section(Layout{56, 9, 32, 46})},
      {"payload offset past the end", section(Layout{65, 0, 32, 46})},
      {"template offset past the end", section(Layout{56, 8, 64, 46})},
      {"odd text offset", section(Layout{56, 8, 33, 46})},
      {"version without its zero unit", section(Layout{56, 8, 32, 48})},
  };
  // The version's text runs to the section's end without a zero unit.
  cases[6].bytes.replace(48, 16, std::string(16, 'x'));
  for (const Case& c : cases) {
    harness::GuardedRegion region(c.bytes);
    EXPECT_FALSE(useAttachedSection(region.data(), region.size())) << c.what;
    EXPECT_EQ(onefilePayload, good.data() + 56) << c.what;
    EXPECT_STREQ(onefilePathTemplate, L"{TEMP}") << c.what;
  }
}

}  // namespace
