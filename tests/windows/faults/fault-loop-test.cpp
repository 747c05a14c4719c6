// The fault loop: a start (cold, an update beside an older version's folder,
// warm, over a damaged cache) run again and again by the fault probe, with
// the n-th call of the bootstrap's system-call table failing, for n = 1, 2,
// ... until a start completes without reaching its fault. Every run must end
// as the fault table says for
// the call that failed, within its time, leaving nothing outside its
// application's folder; and a start without faults right after it must
// repair the cache, start the program and finish removing the older versions
// that each start finds beside its target folder. A cold start whose written
// files are closed on threads beside the unpacking runs the same loop. Its
// closing threads' calls come in an order that depends on timing, so they
// are failed in a sequence of their own (each thread's rests, whose number
// depends on timing too, take no number: a start with the first rest failing
// comes first). The start that ends a sequence has made every call of it but
// the n-th: one that made fewer would leave the last calls of a longer start
// never failed. The calls before the bootstrap looks for its attached data
// (the system's libraries, the console, the environment) are the same in
// every start: the cold start fails them, the others begin after them.
#include <gtest/gtest.h>

#include <iostream>
#include <map>
#include <string>
#include <vector>

#include "fault-table.h"
#include "harness.h"

namespace {

const std::wstring PROBE = L"fault-probe.exe";
constexpr DWORD RUN_LIMIT_MS = 60000;
constexpr int WINE_RETRIES = 2;  // starts again after Wine's own failure to start the application

std::wstring sourceFolder() { return harness::binPath(L"fault-app"); }

struct Note {
  bool reached = false;
  std::string call;
  std::string path;
  std::string unavailableCall;  // the first call made of what could not be had
};

// Takes the probe's note off the front of standard error.
Note takeNote(std::string* err) {
  Note note;
  if (err->rfind("fault: ", 0) != 0) return note;
  size_t end = err->find('\n');
  std::string line = err->substr(0, end);
  err->erase(0, end + 1);
  size_t call = line.find(' ', 7) + 1;
  size_t bar = line.find('|');
  note.reached = true;
  note.call = line.substr(call, bar - call);
  note.path = line.substr(bar + 1);
  const std::string then = "fault: then ";
  if (err->rfind(then, 0) == 0) {
    end = err->find('\n');
    note.unavailableCall = err->substr(then.size(), end - then.size());
    err->erase(0, end + 1);
  }
  return note;
}

struct CallCount {
  long made = -1, atStartUp = -1, onClosingThreads = -1;  // -1: not said
};

// Takes the count of calls made off standard error, where a start that did
// not reach its failing call leaves it.
CallCount takeCallCount(std::string* err) {
  const std::string front = "calls: ";
  CallCount count;
  size_t at = err->rfind(front);
  if (at == std::string::npos || (at > 0 && (*err)[at - 1] != '\n')) return count;
  size_t end = err->find('\n', at);
  std::string line = err->substr(at + front.size(), end - at - front.size());
  size_t second = line.find(", ") + 2, third = line.find(", ", second) + 2;
  count.made = std::stol(line);
  count.atStartUp = std::stol(line.substr(second));
  count.onClosingThreads = std::stol(line.substr(third));
  err->erase(at, end + 1 - at);
  return count;
}

const char* const ENDING_NAMES[] = {"starts",      "report",      "system report", "expansion",
                                    "open failed", "full buffer", "status unread", "as its calls"};

struct Expected {
  DWORD status;
  std::string out;
  std::string err;
};

// The message's path is the file being opened: the call's own path, or a
// file below the directory that could not be made.
std::string openedPath(const std::string& err) {
  const std::string front = "Error, failed to open '";
  const std::string back = "' for writing.\r\n";
  if (err.rfind(front, 0) != 0 || err.size() < front.size() + back.size()) return "";
  return err.substr(front.size(), err.size() - front.size() - back.size());
}

Expected expectedFor(const FaultRow& row, const Note& note, const std::string& err) {
  std::string line = std::string(row.message) + "\r\n";
  switch (row.ending) {
    case Ending::STARTS:
      return {FAULT_APP_STATUS, "", ""};
    case Ending::REPORT:
      return {2, line, ""};
    case Ending::SYSTEM_REPORT:
      return {2, "", harness::systemErrorReport(row.message, row.errorCode)};
    case Ending::EXPANSION:
      return {3, "", line};
    case Ending::OPEN_FAILED: {
      std::string opened = openedPath(err);
      bool below = opened == note.path || opened.rfind(note.path + "\\", 0) == 0;
      return {2, "", below ? err : "Error, failed to open '<" + note.path + " or below>' for writing.\r\n"};
    }
    case Ending::FULL_BUFFER:
      return {4, "", ""};
    case Ending::STATUS_UNREAD:
      return {1, "", ""};
    case Ending::AS_ITS_CALLS:  // replaced by the row of the call it ends as
      break;
  }
  return {};
}

struct LoopTarget {
  std::wstring temp = harness::freshTestDir();
  std::wstring parent = temp + L"\\app";
  std::wstring target = parent + L"\\" + FAULT_VERSION;
  unsigned closeThreads = 0;

  // failing: the number of the call that fails, 0 for none, or "rest".
  harness::RunResult start(const std::wstring& failing) const {
    harness::RunOptions options;
    harness::pointTempAt(&options, temp);
    options.currentDirectory = temp;
    options.timeoutMs = RUN_LIMIT_MS;
    options.commandLine = harness::quoteArgument(harness::binPath(PROBE)) + L" " +
                          harness::quoteArgument(harness::binPath(L"fault-app.payload")) + L" " +
                          failing + L" " + std::to_wstring(closeThreads);
    return harness::run(harness::binPath(PROBE), options);
  }

  // A start in which nothing fails, started again when Wine could not start
  // the application; "none" in place of "0" has it say its calls' count.
  harness::RunResult startWithoutFaults(const std::wstring& failing = L"0") const {
    harness::RunResult run = start(failing);
    for (int again = 0; again < WINE_RETRIES && harness::wineCouldNotStartTheChild(run); ++again) run = start(failing);
    return run;
  }

  // An older version (a read-only file down a folder), and one that an
  // earlier start marked and left half-removed.
  void plantOldVersions() const {
    for (const wchar_t* folder : {L"\\0.9", L"\\0.9\\sub", L"\\0.8.removing.1"})
      CreateDirectoryW((parent + folder).c_str(), nullptr);
    std::wstring held = parent + L"\\0.9\\sub\\held.txt";
    SetFileAttributesW(held.c_str(), FILE_ATTRIBUTE_NORMAL);  // one left by a run that Wine cut short
    harness::writeFile(parent + L"\\0.9\\main.exe", "old");
    harness::writeFile(held, "read-only");
    SetFileAttributesW(held.c_str(), FILE_ATTRIBUTE_READONLY);
    harness::writeFile(parent + L"\\0.8.removing.1\\rest.txt", "rest");
  }

  // The files of their own that the application's folder holds beside the
  // target folder. A file the target shares stays in an older folder (a
  // removal would shut the running program out of it for a moment).
  std::string besideTarget() const {
    std::string found;
    const std::wstring own = FAULT_VERSION;
    for (const std::wstring& name : harness::listTree(parent))
      if (name != own && name.rfind(own + L"\\", 0) != 0 && !isShared(parent + L"\\" + name))
        found += harness::narrow(name) + " ";
    return found;
  }

  // A file with another name, or a folder holding only such files.
  static bool isShared(const std::wstring& path) {
    if (harness::directoryExists(path)) {
      std::vector<std::wstring> inside = harness::listTree(path);
      for (const std::wstring& name : inside)
        if (!harness::directoryExists(path + L"\\" + name) && !isShared(path + L"\\" + name)) return false;
      return !inside.empty();
    }
    HANDLE file = CreateFileW(path.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                              OPEN_EXISTING, 0, nullptr);
    BY_HANDLE_FILE_INFORMATION info;
    bool shared = file != INVALID_HANDLE_VALUE && GetFileInformationByHandle(file, &info) && info.nNumberOfLinks > 1;
    if (file != INVALID_HANDLE_VALUE) CloseHandle(file);
    return shared;
  }

  // Everything the runs wrote is below the application's folder.
  std::string outside() const {
    for (const std::wstring& name : harness::listTree(temp))
      if (name != L"app" && name.rfind(L"app\\", 0) != 0) return harness::narrow(name);
    return "";
  }
};

// Files changed, cut, filled and a folder removed, all of which the next
// start must write again.
void damage(const std::wstring& target) {
  std::string main = harness::readFile(target + L"\\main.exe");
  harness::writeFile(target + L"\\main.exe", main.substr(0, main.size() / 3));
  harness::removeTree(target + L"\\a\\b");
  harness::writeFile(target + L"\\a\\empty.txt", "not empty");
  std::string top = harness::readFile(target + L"\\top.txt");
  top[0] ^= 0x20;
  harness::writeFile(target + L"\\top.txt", top);
}

struct Scenario {
  const char* name;
  void (*prepare)(const std::wstring& target);
  unsigned closeThreads;
  bool failsStartUp;  // the calls before the attached data is looked for
};

void removeCache(const std::wstring& target) { harness::removeTree(target); }

// An update: the cache is gone, and a newer one of the older versions
// beside holds the files but one, and the start takes those but its program.
// Each start gets a version of its own beside: a start marks every older
// folder of one version with the same name, and the names the last one
// shares stay in its marked folder.
void updateBeside(const std::wstring& target) {
  static unsigned start;
  removeCache(target);
  std::wstring beside = target.substr(0, target.rfind(L'\\')) + L"\\0.9." + std::to_wstring(++start);
  for (const wchar_t* folder : {L"", L"\\a", L"\\a\\b"}) CreateDirectoryW((beside + folder).c_str(), nullptr);
  for (const wchar_t* file : {L"\\main.exe", L"\\a\\b\\c.dat", L"\\a\\empty.txt"})
    harness::writeFile(beside + file, harness::readFile(sourceFolder() + file));
}

const Scenario SCENARIOS[] = {
    {"Cold", removeCache, 0, true},
    {"Update", updateBeside, 0, false},
    {"Warm", [](const std::wstring&) {}, 0, false},  // each repairing start leaves the cache whole
    {"Damaged", damage, 0, false},
    {"ColdClosingOnThreads", removeCache, 2, false},
};

struct Tally {
  unsigned long calls = 0;
  std::map<std::string, std::map<std::string, int>> endings;  // call -> ending -> runs
  int failures = 0;
};

// ctest names the runs by their start.
void PrintTo(const Scenario& scenario, std::ostream* out) { *out << scenario.name; }

// The calls a loop fails in turn: the unpacking thread's (a number), the
// closing threads' ("c" and a number), and the first rest ("rest", once).
struct Sequence {
  std::wstring prefix;
  unsigned long first;
  bool once;
};

class FaultLoop : public testing::TestWithParam<Scenario> {};

TEST_P(FaultLoop, EveryFailingCallEndsAsDocumentedAndTheNextStartRepairs) {
  const Scenario& scenario = GetParam();
  LoopTarget loop;
  loop.closeThreads = scenario.closeThreads;
  harness::RunResult first = loop.startWithoutFaults(L"none");
  ASSERT_EQ(first.exitCode, FAULT_APP_STATUS) << "the first start, which makes the cache";
  long atStartUp = takeCallCount(&first.err).atStartUp;
  ASSERT_GT(atStartUp, 0) << first.err;
  std::vector<Sequence> sequences;
  if (scenario.closeThreads > 0) sequences = {{L"rest", 0, true}, {L"c", 1, false}};
  sequences.push_back({L"", scenario.failsStartUp ? 1 : (unsigned long)atStartUp + 1, false});
  Tally tally;
  long onClosingThreads = 0;
  int wineRetries = 0;  // of the start in which no call fails
  for (const Sequence& sequence : sequences) {
    for (unsigned long n = sequence.first;; ++n) {
      std::wstring failing = sequence.once ? sequence.prefix : sequence.prefix + std::to_wstring(n);
      SCOPED_TRACE(std::string(scenario.name) + " start, call " + harness::narrow(failing) + " failing");
      scenario.prepare(loop.target);
      loop.plantOldVersions();
      harness::RunResult run = loop.start(failing);
      ASSERT_FALSE(run.timedOut) << "hung";
      Note note = takeNote(&run.err);
      CallCount count = takeCallCount(&run.err);
      if (!note.reached) {
        if (harness::wineCouldNotStartTheChild(run) && wineRetries++ < WINE_RETRIES) {
          --n;  // the same start again: the bootstrap was not at fault
          continue;
        }
        if (sequence.once) break;  // no thread rested in this start
        bool closing = sequence.prefix == L"c";
        long made = closing ? count.onClosingThreads : count.made;
        EXPECT_EQ(made, (long)n - 1) << "this start made fewer calls than an earlier one";
        EXPECT_EQ(run.exitCode, FAULT_APP_STATUS);
        EXPECT_EQ(run.out + run.err, "");
        EXPECT_EQ(harness::treeDifference(sourceFolder(), loop.target), "");
        EXPECT_EQ(loop.besideTarget(), "");
        if (closing) onClosingThreads = made;
        if (closing) break;
        tally.calls = n - 1;
        scenario.prepare(loop.target);
        loop.plantOldVersions();
        harness::RunResult again = loop.start(failing);
        CallCount repeated = takeCallCount(&again.err);
        EXPECT_EQ(repeated.made, count.made) << "the same start, made again, made another number of calls";
        EXPECT_EQ(repeated.onClosingThreads, count.onClosingThreads) << "and another number on closing threads";
        break;
      }
      const FaultRow* row = findFaultRow(note.call);
      ASSERT_NE(row, nullptr) << note.call;
      if (row->ending == Ending::AS_ITS_CALLS) {
        static const FaultRow STARTS_ROW = {"", 0, 0, false, Ending::STARTS, ""};
        row = note.unavailableCall.empty() ? &STARTS_ROW : findFaultRow(note.unavailableCall);
        ASSERT_NE(row, nullptr) << note.unavailableCall;
      }
      if (row->ending == Ending::STARTS && harness::wineCouldNotStartTheChild(run)) {
        tally.endings[note.call]["Wine could not start the program"]++;
        continue;  // the fault did not end the run; Wine ended it later
      }
      Expected expected = expectedFor(*row, note, run.err);
      EXPECT_EQ(run.exitCode, expected.status) << note.call;
      EXPECT_EQ(run.out, expected.out) << note.call;
      EXPECT_EQ(run.err, expected.err) << note.call;
      EXPECT_EQ(loop.outside(), "") << note.call;
      bool asDocumented = run.exitCode == expected.status && run.out == expected.out && run.err == expected.err;
      tally.endings[note.call][asDocumented ? ENDING_NAMES[(int)row->ending] : "UNEXPECTED"]++;
      tally.failures += asDocumented ? 0 : 1;

      harness::RunResult repair = loop.startWithoutFaults();
      ASSERT_FALSE(repair.timedOut) << "the repairing start hung";
      EXPECT_EQ(repair.exitCode, FAULT_APP_STATUS) << note.call;
      EXPECT_EQ(repair.out + repair.err, "") << note.call;
      EXPECT_EQ(harness::treeDifference(sourceFolder(), loop.target), "") << note.call;
      EXPECT_EQ(loop.besideTarget(), "") << note.call;
      if (sequence.once) break;
      ASSERT_LT(n, 1000u) << "the start never completed";
    }
  }

  // The loop's figures, for whoever reads the test's output.
  std::cout << scenario.name << " start: " << tally.calls << " calls, "
            << (scenario.failsStartUp ? "each" : "each after the " + std::to_string(atStartUp) + " of the start-up")
            << " failed once";
  if (scenario.closeThreads > 0) std::cout << ", and " << onClosingThreads << " on closing threads";
  std::cout << "; " << tally.failures << " runs not as documented\n";
  for (const auto& [call, endings] : tally.endings)
    for (const auto& [ending, runs] : endings) std::cout << "  " << call << ": " << runs << " x " << ending << "\n";
}

INSTANTIATE_TEST_SUITE_P(Starts, FaultLoop, testing::ValuesIn(SCENARIOS),
                         [](const testing::TestParamInfo<Scenario>& info) { return std::string(info.param.name); });

}  // namespace
