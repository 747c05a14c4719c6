// For tests only: the report box's time limit as the desktops' names give
// it, and the box with a limit of the test's own. Wine takes its "Default"
// desktop for the input desktop whichever has the input, so a start cannot
// show there where the limit applies and where it does not.
#pragma once
#include <windows.h>
#include <stddef.h>

// The time the box waits for its answer on the desktop named ownDesktop
// while the input desktop is inputDesktop (nullptr: it cannot be read, as
// while the screen is locked); INFINITE for as long as it takes.
DWORD reportBoxWaitLimit(const wchar_t* ownDesktop, const wchar_t* inputDesktop);

// showReportWindow's box, waiting at most limitMs (INFINITE: no limit).
void showReportBox(const wchar_t* text, size_t length, DWORD limitMs);
