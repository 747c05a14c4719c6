// How one run of a bootstrap over a damaged payload or cache ended, judged by
// its exit status, its output and what it left on disk.
#pragma once
#include <string>

#include "app-marker.h"
#include "harness.h"

namespace robustness {

enum class Outcome {
  Message,         // status 2 and exactly one of the bootstrap's fixed reports
  FullBuffer,      // status 4 and no output at all
  Correct,         // the application ran from a byte-correct unpack
  DamagedContent,  // no report, but what was unpacked differs from the folder packed
  Crashed,         // any other ending: the bootstrap itself failed badly
  Hung,            // still running when the time limit ran out
};

const char* outcomeName(Outcome outcome);

// True when out and err hold exactly one of the bootstrap's reports and
// nothing else.
bool isOneFixedReport(const std::string& out, const std::string& err);

// packed is the folder that was packed, target the bootstrap's target folder,
// mainProgram the first record's name.
Outcome judgeRun(const harness::RunResult& result, const std::wstring& packed, const std::wstring& target,
                 const std::wstring& mainProgram);

}  // namespace robustness
