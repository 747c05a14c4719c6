// damage-runner MANIFEST EXE_DIR WORK_DIR APP_DIR MAIN_PROGRAM TIMEOUT_MS RESULTS
// Runs the bootstrap NNNN.exe of every manifest line that EXE_DIR holds, each
// in a fresh target folder below WORK_DIR, and appends one line per run to
// RESULTS: number, kind, outcome, whether anything was written outside the
// target folder, exit status, what was done, and the first line of output.
// Paths may be given as Linux paths; they are reached through drive Z:.
#include <cstdio>
#include <fstream>
#include <sstream>
#include <string>

#include "harness.h"
#include "run-outcome.h"

namespace {

std::wstring windowsPath(const char* path) { return harness::windowsPath(harness::widen(path)); }

// Everything the run left in its case folder lies inside its target folder,
// and the work folder gained nothing but this case (entriesBefore: its
// entries before the case folder was made).
bool wroteOutside(const std::wstring& work, size_t entriesBefore, const std::wstring& caseName) {
  if (harness::listTree(work).size() != entriesBefore + 1 + harness::listTree(work + L"\\" + caseName).size())
    return true;
  for (const std::wstring& name : harness::listTree(work + L"\\" + caseName))
    if (name != L"tmp" && name != L"tmp\\t" && name.rfind(L"tmp\\t\\", 0) != 0) return true;
  return false;
}

std::string firstLine(const harness::RunResult& result) {
  std::string text = result.out.empty() ? result.err : result.out;
  text = text.substr(0, text.find_first_of("\r\n"));
  for (char& c : text)
    if (c == '\t') c = ' ';
  return text;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 8) {
    std::fprintf(stderr, "usage: damage-runner MANIFEST EXE_DIR WORK_DIR APP_DIR MAIN_PROGRAM TIMEOUT_MS RESULTS\n");
    return 2;
  }
  std::ifstream manifest(harness::narrow(windowsPath(argv[1])));
  const std::wstring exeDir = windowsPath(argv[2]), work = windowsPath(argv[3]), packed = windowsPath(argv[4]);
  const std::wstring mainProgram = harness::widen(argv[5]);
  const DWORD timeoutMs = std::stoul(argv[6]);
  std::ofstream results(harness::narrow(windowsPath(argv[7])), std::ios::app);
  if (!manifest || !results) {
    std::fprintf(stderr, "damage-runner: cannot open the manifest or the results\n");
    return 2;
  }
  CreateDirectoryW(work.c_str(), nullptr);
  std::string line;
  while (std::getline(manifest, line)) {
    std::istringstream fields(line);
    std::string number, kind, description;
    std::getline(fields, number, '\t');
    std::getline(fields, kind, '\t');
    std::getline(fields, description);
    std::wstring exe = exeDir + L"\\" + harness::widen(number) + L".exe";
    if (!harness::fileExists(exe)) continue;

    std::wstring caseName = harness::widen(number);
    std::wstring caseDir = work + L"\\" + caseName, temp = caseDir + L"\\tmp";
    harness::removeTree(caseDir);
    size_t entriesBefore = harness::listTree(work).size();
    CreateDirectoryW(caseDir.c_str(), nullptr);
    CreateDirectoryW(temp.c_str(), nullptr);
    harness::RunOptions options;
    harness::pointTempAt(&options, temp);
    options.currentDirectory = caseDir;
    options.timeoutMs = timeoutMs;
    harness::RunResult result = harness::run(exe, options);

    robustness::Outcome outcome = robustness::judgeRun(result, packed, temp + L"\\t", mainProgram);
    bool outside = wroteOutside(work, entriesBefore, caseName);
    char status[16];
    std::snprintf(status, sizeof status, "0x%08lX", static_cast<unsigned long>(result.exitCode));
    results << number << '\t' << kind << '\t' << robustness::outcomeName(outcome) << '\t' << (outside ? 1 : 0)
            << '\t' << status << '\t' << description << '\t' << firstLine(result) << std::endl;
    bool keep = outside || outcome == robustness::Outcome::Crashed || outcome == robustness::Outcome::Hung;
    if (!keep) harness::removeTree(caseDir);
  }
  return 0;
}
