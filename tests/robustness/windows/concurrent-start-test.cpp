// Several starts of one application close together, as a user's repeated
// double-clicks make them, on an empty, a partly written, a damaged and a warm
// cache. The application's main program reads every one of its files when it
// starts and checks it against the list it carries: every start must end
// with the program's own success, no program may ever see a file other than
// the one packed, and the cache must be whole afterwards.
#include <gtest/gtest.h>

#include <atomic>
#include <cstdio>
#include <cwchar>
#include <map>
#include <string>
#include <vector>

#include "robust-target.h"
#include "run-outcome.h"

namespace {

// Long enough that earlier programs still run, holding their files open,
// while later starts check and write theirs.
const wchar_t APP_ARGUMENTS[] = L" --check --sleep 1500";

enum class Cache { Empty, PartlyWritten, Damaged, Warm };
const char* const CACHE_NAMES[] = {"empty", "partly written", "damaged", "warm"};

struct Scene {
  const wchar_t* shape;  // "many" small files or a few "large" ones
  int starts;
  DWORD spreadMs;  // the last start comes this long after the first, the others evenly between
  Cache cache;
  bool closing = false;  // built to close written files on threads beside the unpacking
};

const Scene SCENES[] = {
    {L"many", 8, 0, Cache::Empty},      {L"many", 8, 0, Cache::Warm},
    {L"many", 2, 400, Cache::Empty},    {L"many", 3, 1000, Cache::PartlyWritten},
    {L"many", 8, 2000, Cache::Damaged}, {L"large", 2, 0, Cache::Empty},
    {L"large", 3, 500, Cache::Damaged}, {L"large", 8, 2000, Cache::PartlyWritten},
    {L"large", 8, 300, Cache::Empty},   {L"many", 8, 600, Cache::Empty},
    {L"many", 8, 0, Cache::Empty, true},
};

std::wstring packedFolder(const Scene& scene) {
  return harness::binPath(L"concurrent-" + std::wstring(scene.shape) + L"-folder");
}

std::wstring bootstrapName(const Scene& scene) {
  return L"concurrent-" + std::wstring(scene.shape) + (scene.closing ? L"-closing.exe" : L".exe");
}

// The packed files but the main program, in the order the packer wrote them
// (the list's).
std::vector<std::wstring> packedFiles(const Scene& scene) {
  std::vector<std::wstring> files;
  std::string list = harness::readFile(packedFolder(scene) + L"\\files.crc");
  for (size_t at = 0, end; (end = list.find('\n', at)) != std::string::npos; at = end + 1) {
    std::string line = list.substr(at, end - at);
    std::string name = line.substr(line.find(' ', line.find(' ') + 1) + 1);
    if (name != "app.exe") files.push_back(harness::widen(name));
  }
  return files;
}

void cutToHalf(const std::wstring& path) {
  std::string bytes = harness::readFile(path);
  harness::writeFile(path, bytes.substr(0, bytes.size() / 2));
}

// Fills the cache with one start, then leaves it as an interrupted first
// start would (the later half of the files missing, the last one before them
// cut short), or with every fifth file changed in a byte or cut short.
void prepare(const Scene& scene, const robustness::RobustTarget& run) {
  if (scene.cache == Cache::Empty) return;
  harness::RunResult filled = run.start();
  ASSERT_EQ(filled.exitCode, 0u) << filled.out << filled.err;
  std::vector<std::wstring> files = packedFiles(scene);
  for (size_t i = 0; i < files.size(); ++i) {
    std::wstring path = run.target + L"\\" + files[i];
    if (scene.cache == Cache::PartlyWritten && i > files.size() / 2) DeleteFileW(path.c_str());
    if (scene.cache == Cache::PartlyWritten && i == files.size() / 2) cutToHalf(path);
    if (scene.cache == Cache::Damaged && i % 5 == 0) {
      std::string bytes = harness::readFile(path);
      if (bytes.empty() || i % 10 == 0) bytes += "damage";
      else bytes[bytes.size() / 3] ^= 0x20;
      harness::writeFile(path, bytes);
    }
  }
}

// Two loops that keep both processors busy, so that one start can catch up
// with another as it does on a loaded machine.
class BusyMachine {
 public:
  explicit BusyMachine(bool busy) {
    for (int i = 0; busy && i < 2; ++i) threads_.push_back(CreateThread(nullptr, 0, spin, &stop_, 0, nullptr));
  }
  ~BusyMachine() {
    stop_ = true;
    for (HANDLE thread : threads_) WaitForSingleObject(thread, INFINITE), CloseHandle(thread);
  }

 private:
  static DWORD WINAPI spin(void* stop) {
    volatile unsigned long long sum = 0;
    while (!static_cast<std::atomic<bool>*>(stop)->load()) sum = sum + 1;
    return 0;
  }
  std::atomic<bool> stop_{false};
  std::vector<HANDLE> threads_;
};

struct Start {
  const robustness::RobustTarget* run;
  HANDLE go;
  DWORD delayMs;
  harness::RunResult result;
};

DWORD WINAPI startWhenTold(void* argument) {
  Start* start = static_cast<Start*>(argument);
  harness::RunOptions options;
  options.commandLine = harness::quoteArgument(start->run->bootstrap) + APP_ARGUMENTS;
  options.timeoutMs = 120000;
  WaitForSingleObject(start->go, INFINITE);
  Sleep(start->delayMs);
  start->result = start->run->start(options);
  return 0;
}

std::vector<harness::RunResult> startSpread(const robustness::RobustTarget& run, const Scene& scene) {
  HANDLE go = CreateEventW(nullptr, TRUE, FALSE, nullptr);
  std::vector<Start> starts(scene.starts, Start{&run, go, 0, {}});
  std::vector<HANDLE> threads;
  for (int i = 0; i < scene.starts; ++i) {
    starts[i].delayMs = scene.starts > 1 ? scene.spreadMs * i / (scene.starts - 1) : 0;
    threads.push_back(CreateThread(nullptr, 0, startWhenTold, &starts[i], 0, nullptr));
  }
  SetEvent(go);
  WaitForMultipleObjects(static_cast<DWORD>(threads.size()), threads.data(), TRUE, INFINITE);
  for (HANDLE thread : threads) CloseHandle(thread);
  CloseHandle(go);
  std::vector<harness::RunResult> results;
  for (const Start& start : starts) results.push_back(start.result);
  return results;
}

bool succeeded(const harness::RunResult& result) {
  return !result.timedOut && result.exitCode == 0 && result.out == robustness::APP_RAN && result.err.empty();
}

int rounds() {
  wchar_t text[16];
  DWORD length = GetEnvironmentVariableW(L"ROBUSTNESS_ROUNDS", text, 16);
  int value = length > 0 && length < 16 ? static_cast<int>(std::wcstol(text, nullptr, 10)) : 1;
  return value > 0 ? value : 1;
}

struct Figures {
  long scenes = 0, starts = 0, succeeded = 0, sawDamage = 0, cachesWhole = 0, wineLaunchFailures = 0;
};

void runScene(const Scene& scene, int round, bool busy, Figures* figures) {
  std::string what = harness::narrow(scene.shape) + " files, " + std::to_string(scene.starts) + " starts over " +
                     std::to_string(scene.spreadMs) + " ms, " + CACHE_NAMES[static_cast<int>(scene.cache)] +
                     " cache" + (scene.closing ? ", closing on threads" : "") + (busy ? ", busy machine" : "");
  robustness::RobustTarget run(L"round-" + std::to_wstring(round) + L"-" + std::to_wstring(figures->scenes),
                               bootstrapName(scene));
  prepare(scene, run);
  std::vector<harness::RunResult> results;
  {
    BusyMachine machine(busy);
    results = startSpread(run, scene);
  }
  int successes = 0;
  for (const harness::RunResult& result : results) {
    successes += succeeded(result);
    figures->sawDamage += result.exitCode == robustness::APP_SAW_DAMAGE;
    if (harness::wineCouldNotStartTheChild(result)) {
      ++figures->wineLaunchFailures;
      std::printf("%s: Wine could not start the program (error 1359)\n", what.c_str());
      continue;
    }
    EXPECT_TRUE(succeeded(result)) << what << ": status " << result.exitCode << (result.timedOut ? " (hung)" : "")
                                   << "\n" << result.out << result.err;
  }
  bool whole = harness::treeDifference(packedFolder(scene), run.target).empty();
  EXPECT_TRUE(whole) << what << ": " << harness::treeDifference(packedFolder(scene), run.target);
  std::printf("%s: %d of %d starts succeeded, the cache is %s\n", what.c_str(), successes, scene.starts,
              whole ? "whole" : "not whole");
  ++figures->scenes;
  figures->starts += scene.starts;
  figures->succeeded += successes;
  figures->cachesWhole += whole;
}

// Every scene once a round; in make stress's rounds every other one runs on a
// busy machine, where one start catches up with another most often.
TEST(ConcurrentStarts, EveryStartSucceedsAndNoProgramSeesAFileOtherThanPacked) {
  Figures figures;
  const int roundCount = rounds();
  for (int round = 0; round < roundCount; ++round)
    for (const Scene& scene : SCENES) runScene(scene, round, round % 2 == 1, &figures);
  robustness::recordFigure("concurrent_rounds", roundCount);
  robustness::recordFigure("concurrent_scenes", figures.scenes);
  robustness::recordFigure("concurrent_starts", figures.starts);
  robustness::recordFigure("concurrent_ok", figures.succeeded);
  robustness::recordFigure("concurrent_saw_damage", figures.sawDamage);
  robustness::recordFigure("concurrent_wine_launch_failures", figures.wineLaunchFailures);
  robustness::recordFigure("concurrent_caches_whole", figures.cachesWhole);
}

// What another start, or an older build's start, does to a warm cache in the
// middle of this one: it checksums every file through a read handle that
// shares everything, or writes an empty one again, sharing nothing while it
// does (an empty file that is there is current now, but builds before that
// rewrote them). Neither may make this start fail, nor hold it up.
TEST(ConcurrentStarts, AWarmStartSucceedsWhileAnotherReadsOrWritesItsEmptyFile) {
  robustness::RobustTarget run;
  robustness::expectCorrectRun(run.start(), run.target);
  const std::wstring empty = run.target + L"\\empty.dat";
  struct Holder {
    DWORD access;
    DWORD share;
    DWORD disposition;
  };
  const Holder others[] = {
      {GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, OPEN_EXISTING},  // its checksum
      {GENERIC_WRITE, 0, CREATE_ALWAYS},                                                      // its rewrite
  };
  for (const Holder& other : others) {
    HANDLE held = CreateFileW(empty.c_str(), other.access, other.share, nullptr, other.disposition, 0, nullptr);
    ASSERT_NE(held, INVALID_HANDLE_VALUE);
    harness::RunResult result = run.start();
    CloseHandle(held);
    robustness::expectCorrectRun(result, run.target);
  }
}

}  // namespace
