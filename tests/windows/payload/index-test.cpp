// The record loop over payloads whose frames each follow an index: a group
// whose files are all current is stepped over undecoded, a group with one
// stale file is decoded and only that file written, and an index that is
// damaged, or that disagrees with its frame, ends the run as a damaged frame
// does, as soon as the frame is decoded. An index that leaves a file out with
// a sound checksum is trusted by a start that need not decode its frame: only
// the packer can refuse it (it reads back what it wrote). Each run is a
// process of its own (payload-probe unpack).
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "file-times.h"
#include "harness.h"
#include "payload/format.h"

namespace {

using harness::RunResult;

constexpr char DECODE_FAILED[] = "Error, couldn't decode attached data.\r\n";
constexpr char UNPACKED[] = "unpacked\r\n";

std::wstring fixturePath(const std::wstring& name) { return harness::binPath(L"payload-data\\" + name); }

RunResult unpack(const std::wstring& fixture, const std::wstring& target) {
  harness::RunOptions options;
  options.commandLine = L"payload-probe.exe unpack " + harness::quoteArgument(fixturePath(fixture + L".payload")) +
                        L" " + harness::quoteArgument(target) + L" " + std::to_wstring(PAYLOAD_TRAILER_SIZE);
  return harness::run(harness::binPath(L"payload-probe.exe"), options);
}

const std::vector<std::wstring> ALL = {L"main.exe", L"a\\one.bin", L"a\\two.txt", L"b\\empty", L"b\\three.bin"};

bool isAmong(const std::wstring& name, const std::vector<std::wstring>& names) {
  return std::find(names.begin(), names.end(), name) != names.end();
}

// A whole cache, unpacked by the sound payload, with the stale files
// changed and every file an hour old, so that a write shows.
void fillCache(const std::wstring& target, const std::vector<std::wstring>& stale) {
  ASSERT_EQ(unpack(L"index-sound", target).out, UNPACKED);
  for (const std::wstring& name : ALL) {
    if (isAmong(name, stale)) harness::writeFile(target + L"\\" + name, "stale");
    file_times::moveAnHourBack(target + L"\\" + name);
  }
}

enum Cache { EMPTY, WHOLE, STALE_TWO, STALE_ONE_AND_THREE, WHOLE_BUT_EMPTY };

// The file index-entry-missing's second index leaves out.
const std::wstring LEFT_OUT = L"b\\empty";

struct Case {
  const wchar_t* fixture;
  Cache cache;
  bool unpacks;
  std::vector<std::wstring> written;  // files the run writes; the others keep their time
  bool damagedWhileWriting = false;   // which files a damaged frame lets through is zstd's affair
};

TEST(IndexedPayload, CurrentGroupsAreSteppedOverAndEveryDisagreementIsDamage) {
  const Case cases[] = {
      {L"index-sound", EMPTY, true, ALL},
      {L"index-sound", WHOLE, true, {}},
      {L"index-sound", STALE_ONE_AND_THREE, true, {L"a\\one.bin", L"b\\three.bin"}},
      // The second frame is damaged: only a start that decodes it can tell.
      {L"index-frame-damaged", WHOLE, true, {}},
      {L"index-frame-damaged", STALE_ONE_AND_THREE, true, {L"a\\one.bin", L"b\\three.bin"}},
      {L"index-frame-damaged", STALE_TWO, false, {}, true},
      {L"index-bad-checksum", WHOLE, false, {}},
      {L"index-beyond", WHOLE, false, {}},
      {L"index-other-checksum", WHOLE, false, {}},
      {L"index-other-checksum", EMPTY, false, {L"main.exe", L"a\\one.bin"}},
      {L"index-entry-missing", STALE_TWO, false, {L"a\\two.txt"}},
      // Every file the index names is current: the frame is stepped over and
      // the file it leaves out stays missing.
      {L"index-entry-missing", WHOLE_BUT_EMPTY, true, {}},
      {L"index-missing", WHOLE, false, {}},
  };
  std::wstring sound = harness::freshTestDir(L"-sound");
  ASSERT_EQ(unpack(L"index-sound", sound).out, UNPACKED);
  for (const Case& c : cases) {
    std::wstring target = harness::freshTestDir() + L"\\t";
    SCOPED_TRACE(harness::narrow(c.fixture) + ", cache " + std::to_string(c.cache));
    if (c.cache == WHOLE || c.cache == WHOLE_BUT_EMPTY) fillCache(target, {});
    if (c.cache == WHOLE_BUT_EMPTY) ASSERT_TRUE(DeleteFileW((target + L"\\" + LEFT_OUT).c_str()));
    if (c.cache == STALE_TWO) fillCache(target, {L"a\\two.txt"});
    if (c.cache == STALE_ONE_AND_THREE) fillCache(target, {L"a\\one.bin", L"b\\three.bin"});
    std::vector<FILETIME> before;
    for (const std::wstring& name : ALL)
      before.push_back(c.cache == EMPTY || !harness::fileExists(target + L"\\" + name)
                           ? FILETIME{}
                           : harness::lastWriteTime(target + L"\\" + name));

    RunResult result = unpack(c.fixture, target);
    EXPECT_EQ(result.out, c.unpacks ? UNPACKED : DECODE_FAILED) << result.err;
    EXPECT_EQ(result.exitCode, c.unpacks ? 0u : 2u);
    for (size_t i = 0; i < ALL.size(); ++i) {
      std::wstring path = target + L"\\" + ALL[i];
      if (c.cache == WHOLE_BUT_EMPTY && ALL[i] == LEFT_OUT) {
        EXPECT_FALSE(harness::fileExists(path));
        continue;
      }
      if (c.unpacks) EXPECT_EQ(harness::readFile(path), harness::readFile(sound + L"\\" + ALL[i])) << harness::narrow(ALL[i]);
      if (c.damagedWhileWriting) continue;
      bool written = isAmong(ALL[i], c.written);
      if (c.cache == EMPTY) {
        EXPECT_EQ(harness::fileExists(path), written) << harness::narrow(ALL[i]);
      } else {
        EXPECT_EQ(file_times::sameTime(harness::lastWriteTime(path), before[i]), !written) << harness::narrow(ALL[i]);
      }
    }
  }
}

}  // namespace
