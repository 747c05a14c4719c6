// The record loop over payloads whose frames each follow an index: a group
// whose files are all current is stepped over undecoded, a group with one
// stale file is decoded and only that file written, and an index that is
// damaged, or that disagrees with its frame, ends the run as a damaged frame
// does. Each run is a process of its own (payload-probe unpack).
#include <gtest/gtest.h>

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

struct File {
  std::wstring name;
  std::string content;
};

// The files of the index payloads, from the record stream they all carry.
std::vector<File> indexFiles() {
  std::string stream = harness::readFile(fixturePath(L"index-sound.stream"));
  std::vector<File> files;
  size_t at = 0;
  for (;;) {
    std::wstring name;
    for (wchar_t unit; (unit = (wchar_t)((unsigned char)stream[at] | (unsigned char)stream[at + 1] << 8)) != 0; at += 2)
      name += unit;
    at += RECORD_NAME_UNIT_BYTES;
    if (name.empty()) return files;
    uint64_t size = 0;
    for (unsigned i = RECORD_SIZE_BYTES; i-- > 0;) size = size << 8 | (unsigned char)stream[at + i];
    at += RECORD_SIZE_BYTES + RECORD_CHECKSUM_BYTES;
    files.push_back({name, stream.substr(at, size)});
    at += size;
  }
}

// A whole cache, with the files that are to be stale changed, and every file
// an hour old, so that a write shows.
void fillCache(const std::wstring& target, const std::vector<std::wstring>& stale) {
  for (const File& file : indexFiles()) {
    std::wstring path = target + L"\\" + file.name;
    CreateDirectoryW(target.c_str(), nullptr);
    CreateDirectoryW(path.substr(0, path.rfind(L'\\')).c_str(), nullptr);
    bool isStale = false;
    for (const std::wstring& name : stale) isStale = isStale || name == file.name;
    harness::writeFile(path, isStale ? file.content + "stale" : file.content);
    file_times::moveAnHourBack(path);
  }
}

enum Cache { EMPTY, WHOLE, STALE_TWO, STALE_ONE_AND_THREE };

struct Case {
  const wchar_t* fixture;
  Cache cache;
  bool unpacks;
  std::vector<std::wstring> written;  // files the run writes; the others keep their time
  bool damagedWhileWriting = false;   // which files a damaged frame lets through is zstd's affair
};

const std::vector<std::wstring> ALL = {L"main.exe", L"a\\one.bin", L"a\\two.txt", L"b\\empty", L"b\\three.bin"};

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
      {L"index-missing", WHOLE, false, {}},
  };
  for (const Case& c : cases) {
    std::wstring target = harness::freshTestDir() + L"\\t";
    SCOPED_TRACE(harness::narrow(c.fixture) + ", cache " + std::to_string(c.cache));
    if (c.cache == WHOLE) fillCache(target, {});
    if (c.cache == STALE_TWO) fillCache(target, {L"a\\two.txt"});
    if (c.cache == STALE_ONE_AND_THREE) fillCache(target, {L"a\\one.bin", L"b\\three.bin"});
    std::vector<FILETIME> before;
    for (const File& file : indexFiles())
      before.push_back(c.cache == EMPTY ? FILETIME{} : harness::lastWriteTime(target + L"\\" + file.name));

    RunResult result = unpack(c.fixture, target);
    EXPECT_EQ(result.out, c.unpacks ? UNPACKED : DECODE_FAILED) << result.err;
    EXPECT_EQ(result.exitCode, c.unpacks ? 0u : 2u);
    std::vector<File> files = indexFiles();
    for (size_t i = 0; i < files.size(); ++i) {
      const File& file = files[i];
      std::wstring path = target + L"\\" + file.name;
      bool written = false;
      for (const std::wstring& name : c.written) written = written || name == file.name;
      if (c.unpacks) EXPECT_EQ(harness::readFile(path), file.content) << harness::narrow(file.name);
      if (c.damagedWhileWriting) continue;
      if (c.cache == EMPTY) {
        EXPECT_EQ(harness::fileExists(path), written) << harness::narrow(file.name);
      } else {
        EXPECT_EQ(file_times::sameTime(harness::lastWriteTime(path), before[i]), !written) << harness::narrow(file.name);
      }
    }
  }
}

}  // namespace
