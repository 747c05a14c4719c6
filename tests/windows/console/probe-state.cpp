#include "probe-state.h"

std::wstring consoleProbePath() { return harness::binPath(L"console-probe.exe"); }

std::wstring askForProbeState(harness::RunOptions* options) {
  std::wstring path = harness::freshTestDir(L"-probe") + L"\\state.txt";
  options->environment.push_back({L"CONSOLE_PROBE_STATE", path});
  return path;
}

ProbeRun runConsoleProbe(harness::RunOptions options) {
  std::wstring statePath = askForProbeState(&options);
  ProbeRun run;
  run.result = harness::run(consoleProbePath(), options);
  if (harness::fileExists(statePath)) run.state = parseChildReport(harness::readFile(statePath));
  return run;
}

bool descriptorsUnchanged(const ChildReport& state) {
  for (const char* stream : {"0", "1", "2"}) {
    std::string suffix = std::string(".") + stream;
    if (state.value("descriptorAfter" + suffix) != state.value("descriptorBefore" + suffix)) return false;
  }
  return true;
}
