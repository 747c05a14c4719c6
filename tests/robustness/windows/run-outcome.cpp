#include "run-outcome.h"

#include "diag/report.h"

namespace robustness {
namespace {

const std::string LINE_END = "\r\n";

bool startsWith(const std::string& text, const std::string& start) { return text.rfind(start, 0) == 0; }

bool endsWith(const std::string& text, const std::string& end) {
  return text.size() >= end.size() && text.compare(text.size() - end.size(), end.size(), end) == 0;
}

// One line: the text ends with the only line end it holds.
bool isOneLine(const std::string& text) { return endsWith(text, LINE_END) && text.find('\n') == text.size() - 1; }

bool isFixedOutputReport(const std::string& out) {
  for (const char* message : {MESSAGE_NO_HEADER, MESSAGE_NO_MEMORY, MESSAGE_DECODE_FAILED})
    if (out == message + LINE_END) return true;
  return false;
}

bool isFixedErrorReport(const std::string& err) {
  if (!isOneLine(err)) return false;
  std::string openFormat = MESSAGE_OPEN_FOR_WRITING_FAILED;
  size_t argument = openFormat.find("%ls");
  std::string openEnd = openFormat.substr(argument + 3, openFormat.size() - argument - 4) + LINE_END;
  if (startsWith(err, openFormat.substr(0, argument)) && endsWith(err, openEnd)) return true;
  for (const char* message : {MESSAGE_UNPACK_FAILED, MESSAGE_LAUNCH_FAILED})
    if (startsWith(err, std::string(message) + " ([Error ") && endsWith(err, ")" + LINE_END)) return true;
  return false;
}

}  // namespace

const char* outcomeName(Outcome outcome) {
  switch (outcome) {
    case Outcome::Message: return "message";
    case Outcome::FullBuffer: return "full-buffer";
    case Outcome::Correct: return "correct";
    case Outcome::DamagedContent: return "damaged-content";
    case Outcome::Crashed: return "crashed";
    case Outcome::Hung: return "hung";
  }
  return "?";
}

bool isOneFixedReport(const std::string& out, const std::string& err) {
  return (isFixedOutputReport(out) && err.empty()) || (out.empty() && isFixedErrorReport(err));
}

Outcome judgeRun(const harness::RunResult& result, const std::wstring& packed, const std::wstring& target,
                 const std::wstring& mainProgram) {
  if (result.timedOut) return Outcome::Hung;
  if (result.exitCode == EXIT_STATUS_REPORTED && isOneFixedReport(result.out, result.err)) return Outcome::Message;
  if (result.exitCode == EXIT_STATUS_FULL_BUFFER && result.out.empty() && result.err.empty())
    return Outcome::FullBuffer;
  bool childRan = result.out == APP_RAN;
  bool correct = harness::treeDifference(packed, target).empty();
  if (correct && result.exitCode == 0 && childRan && result.err.empty()) return Outcome::Correct;
  // Without a report, what went wrong is the unpacked application's own doing
  // only when the bootstrap wrote something other than what was packed and
  // the application started (it said so, or its own program was damaged and
  // may have crashed before it could).
  std::wstring unpackedMain = target + L"\\" + mainProgram;
  bool mainDamaged = harness::fileExists(unpackedMain) &&
                     harness::readFile(unpackedMain) != harness::readFile(packed + L"\\" + mainProgram);
  if (!correct && (childRan || mainDamaged)) return Outcome::DamagedContent;
  return Outcome::Crashed;
}

}  // namespace robustness
