// Runs the console probe (console-probe.cpp) and reads back the state it
// recorded after setupConsole.
#pragma once
#include <string>

#include "child-report.h"
#include "harness.h"

struct ProbeRun {
  harness::RunResult result;
  ChildReport state;
};

std::wstring consoleProbePath();

// Adds the probe's state file to options (in a folder of the running test).
std::wstring askForProbeState(harness::RunOptions* options);

ProbeRun runConsoleProbe(harness::RunOptions options);

// Every descriptor the probe's three streams had after setupConsole is the
// one they had before it.
bool descriptorsUnchanged(const ChildReport& state);
