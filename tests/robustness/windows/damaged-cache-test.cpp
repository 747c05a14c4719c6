// Caches that something else damaged: every kind of damage is repaired by the
// next start, or reported with its message and status 2 while its cause
// lasts, and repaired by the first start after the cause has gone.
#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "robust-target.h"
#include "run-outcome.h"

namespace {

using robustness::expectCorrectRun;
using robustness::RobustTarget;

std::vector<std::wstring> packedFiles() {
  std::vector<std::wstring> files;
  for (const std::wstring& name : harness::listTree(robustness::packedFolder()))
    if (harness::fileExists(robustness::packedFolder() + L"\\" + name)) files.push_back(name);
  return files;
}

robustness::CaseFigures caches("caches_tried", "caches_repaired");

// A warm cache, damaged by change, is whole again after one start.
void expectRepairedAfter(const std::function<void(const std::wstring& target)>& change) {
  RobustTarget run;
  expectCorrectRun(run.start(), run.target);
  change(run.target);
  expectCorrectRun(run.start(), run.target);
  caches.count();
}

std::string openFailure(const std::wstring& path) {
  return "Error, failed to open '" + harness::narrow(path) + "' for writing.\r\n";
}

TEST(DamagedCache, TruncatedFilesAreWrittenAgain) {
  for (size_t keep : {size_t{0}, size_t{1}, size_t{4096}})
    expectRepairedAfter([&](const std::wstring& target) {
      for (const std::wstring& name : packedFiles()) {
        std::string bytes = harness::readFile(target + L"\\" + name);
        harness::writeFile(target + L"\\" + name, bytes.substr(0, std::min(keep, bytes.size() / 2)));
      }
    });
}

TEST(DamagedCache, FlippedBytesAreWrittenAgain) {
  expectRepairedAfter([](const std::wstring& target) {
    for (const std::wstring& name : packedFiles()) {
      std::string bytes = harness::readFile(target + L"\\" + name);
      if (bytes.empty()) continue;
      bytes[bytes.size() * 2 / 3] ^= 0x01;
      bytes.back() ^= 0x80;
      harness::writeFile(target + L"\\" + name, bytes);
    }
  });
}

TEST(DamagedCache, DeletedFilesFoldersAndTheWholeTargetAreWrittenAgain) {
  expectRepairedAfter([](const std::wstring& target) { ASSERT_TRUE(DeleteFileW((target + L"\\app.exe").c_str())); });
  expectRepairedAfter([](const std::wstring& target) { harness::removeTree(target + L"\\lib"); });
  expectRepairedAfter([](const std::wstring& target) { harness::removeTree(target); });
}

TEST(DamagedCache, AReadOnlyFileThatIsCurrentIsKept) {
  expectRepairedAfter([](const std::wstring& target) {
    for (const std::wstring& name : packedFiles()) {
      if (!harness::readFile(target + L"\\" + name).empty()) {
        ASSERT_TRUE(SetFileAttributesW((target + L"\\" + name).c_str(), FILE_ATTRIBUTE_READONLY));
      }
    }
  });
}

// Damage that the bootstrap cannot mend by itself: it reports the file while
// the cause lasts, and the first start after it has gone repairs the cache.
void expectReportedThenRepaired(const std::wstring& name, const std::function<void(const std::wstring&)>& cause,
                                const std::function<void(const std::wstring&)>& remedy) {
  RobustTarget run;
  expectCorrectRun(run.start(), run.target);
  cause(run.target + L"\\" + name);
  harness::RunResult blocked = run.start();
  EXPECT_EQ(blocked.exitCode, 2u);
  EXPECT_EQ(blocked.out, "");
  EXPECT_EQ(blocked.err, openFailure(run.target + L"\\" + name));
  remedy(run.target + L"\\" + name);
  expectCorrectRun(run.start(), run.target);
  caches.count();
}

TEST(DamagedCache, AFolderWhereAFileBelongsIsReportedUntilItIsGone) {
  auto folderInstead = [](const std::wstring& path) {
    ASSERT_TRUE(DeleteFileW(path.c_str()));
    ASSERT_TRUE(CreateDirectoryW(path.c_str(), nullptr));
    harness::writeFile(path + L"\\inside", "someone's file");
  };
  expectReportedThenRepaired(L"data\\blob.bin", folderInstead, harness::removeTree);
}

TEST(DamagedCache, AFileWhereAFolderBelongsIsReportedUntilItIsGone) {
  auto fileInstead = [](const std::wstring& path) {
    harness::removeTree(path.substr(0, path.rfind(L'\\')));
    harness::writeFile(path.substr(0, path.rfind(L'\\')), "a file named like the folder");
  };
  auto removeFile = [](const std::wstring& path) { harness::removeTree(path.substr(0, path.rfind(L'\\'))); };
  expectReportedThenRepaired(L"lib\\plugins\\deep\\exact.bin", fileInstead, removeFile);
}

TEST(DamagedCache, AFileHeldWithoutSharingPastTheStartsPatienceIsReportedUntilItIsClosed) {
  HANDLE held = INVALID_HANDLE_VALUE;
  auto hold = [&](const std::wstring& path) {
    held = CreateFileW(path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(held, INVALID_HANDLE_VALUE);
  };
  auto release = [&](const std::wstring&) { CloseHandle(held); };
  // Held by this process, which to the bootstrap is another one. Even a
  // current file cannot be read then: the start waits for it, and gives up
  // after half a minute in which the file did not change.
  expectReportedThenRepaired(L"data\\notes.txt", hold, release);
}

}  // namespace
