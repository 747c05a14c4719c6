// A target folder of the test's own for robust-bootstrap.exe, which unpacks
// the suite's application into {TEMP}\app, or for another bootstrap of the
// suite that unpacks there too.
#pragma once
#include <string>

#include "harness.h"

namespace robustness {

// The folder that robust-bootstrap.exe carries, beside the test programs.
std::wstring packedFolder();

struct RobustTarget {
  explicit RobustTarget(const std::wstring& suffix = L"", const std::wstring& bootstrap = L"robust-bootstrap.exe");
  std::wstring temp;       // TEMP and TMP of every start
  std::wstring target;     // temp\app
  std::wstring bootstrap;  // its path

  harness::RunResult start(harness::RunOptions options = {}) const;
  // Starts without waiting; its standard handles lead to the null device.
  HANDLE startDetached(harness::RunOptions options = {}) const;
};

// The run ended as a sound one does: the application ran from a byte-correct target.
void expectCorrectRun(const harness::RunResult& result, const std::wstring& target);

// Appends "key value" to the file named by ONEFILE_STRESS_SUMMARY, when set:
// the figures that `make stress` prints in its table.
void recordFigure(const std::string& key, long value);

// Counts the cases of one kind, and those of them that went as expected (no
// failure in the running test so far); records both figures when the test
// program ends.
class CaseFigures {
 public:
  CaseFigures(const char* triedKey, const char* passedKey);
  void count();

 private:
  const char* triedKey_;
  const char* passedKey_;
  long tried_ = 0;
  long passed_ = 0;
  friend class FigureRecorder;
};

}  // namespace robustness
