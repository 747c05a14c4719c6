// The fault loop: a start (cold, an update beside an older version's folder,
// warm, over a damaged cache) run again and again by the fault probe, with
// the n-th call of the bootstrap's system-call table failing, for n = 1, 2,
// ... until a start completes without reaching its fault. Every run must end
// as the fault table says for
// the call that failed, within its time, leaving nothing outside its
// application's folder; and a start without faults right after it must
// repair the cache, start the program and finish removing the older versions
// that each start finds beside its target folder. A cold start whose written
// files are closed on threads beside the unpacking runs the same loop; its
// calls come in an order, and the threads' rests in a number, that vary from
// run to run, so the loop may end a call or two early there: the other
// starts fail the calls after the unpacking in turn.
#include <gtest/gtest.h>

#include <iostream>
#include <map>
#include <string>

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

  harness::RunResult start(unsigned long failing) const {
    harness::RunOptions options;
    harness::pointTempAt(&options, temp);
    options.currentDirectory = temp;
    options.timeoutMs = RUN_LIMIT_MS;
    options.commandLine = harness::quoteArgument(harness::binPath(PROBE)) + L" " +
                          harness::quoteArgument(harness::binPath(L"fault-app.payload")) + L" " +
                          std::to_wstring(failing) + L" " + std::to_wstring(closeThreads);
    return harness::run(harness::binPath(PROBE), options);
  }

  // A start in which nothing fails, started again when Wine could not start the application.
  harness::RunResult startWithoutFaults() const {
    harness::RunResult run = start(0);
    for (int again = 0; again < WINE_RETRIES && harness::wineCouldNotStartTheChild(run); ++again) run = start(0);
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
    {"Cold", removeCache, 0},
    {"Update", updateBeside, 0},
    {"Warm", [](const std::wstring&) {}, 0},  // each repairing start leaves the cache whole
    {"Damaged", damage, 0},
    {"ColdClosingOnThreads", removeCache, 2},
};

struct Tally {
  unsigned long calls = 0;
  std::map<std::string, std::map<std::string, int>> endings;  // call -> ending -> runs
  int failures = 0;
};

// ctest names the runs by their start.
void PrintTo(const Scenario& scenario, std::ostream* out) { *out << scenario.name; }

class FaultLoop : public testing::TestWithParam<Scenario> {};

TEST_P(FaultLoop, EveryFailingCallEndsAsDocumentedAndTheNextStartRepairs) {
  const Scenario& scenario = GetParam();
  LoopTarget loop;
  loop.closeThreads = scenario.closeThreads;
  ASSERT_EQ(loop.startWithoutFaults().exitCode, FAULT_APP_STATUS) << "the first start, which makes the cache";
  Tally tally;
  int wineRetries = 0;  // of the start in which no call fails
  for (unsigned long n = 1;; ++n) {
    SCOPED_TRACE(std::string(scenario.name) + " start, call " + std::to_string(n) + " failing");
    scenario.prepare(loop.target);
    loop.plantOldVersions();
    harness::RunResult run = loop.start(n);
    ASSERT_FALSE(run.timedOut) << "hung";
    Note note = takeNote(&run.err);
    if (!note.reached) {
      if (harness::wineCouldNotStartTheChild(run) && wineRetries++ < WINE_RETRIES) {
        --n;  // the same start again: the bootstrap was not at fault
        continue;
      }
      tally.calls = n - 1;
      EXPECT_EQ(run.exitCode, FAULT_APP_STATUS);
      EXPECT_EQ(run.out + run.err, "");
      EXPECT_EQ(harness::treeDifference(sourceFolder(), loop.target), "");
      EXPECT_EQ(loop.besideTarget(), "");
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
    ASSERT_LT(n, 1000u) << "the start never completed";
  }

  // The loop's figures, for whoever reads the test's output.
  std::cout << scenario.name << " start: " << tally.calls << " calls, each failed once; " << tally.failures
            << " runs not as documented\n";
  for (const auto& [call, endings] : tally.endings)
    for (const auto& [ending, runs] : endings) std::cout << "  " << call << ": " << runs << " x " << ending << "\n";
}

INSTANTIATE_TEST_SUITE_P(Starts, FaultLoop, testing::ValuesIn(SCENARIOS),
                         [](const testing::TestParamInfo<Scenario>& info) { return std::string(info.param.name); });

}  // namespace
