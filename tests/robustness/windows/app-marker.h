// What the suite's application prints when it runs, written as raw bytes to
// its standard output: a run whose output holds it did start the application.
#pragma once

namespace robustness {
inline constexpr char APP_RAN[] = "app ran\n";
// The status of a run of "app.exe --check" that found a file other than listed.
inline constexpr int APP_SAW_DAMAGE = 70;
}
