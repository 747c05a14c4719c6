// Where a report has no stream to go to. A windowed program started from
// Explorer or a shortcut has no console and no standard handles: its reports
// would be lost, and the user would see nothing happen. Such a report is shown
// in a message box instead (report-window.cpp).
#pragma once
#include <windows.h>
#include <stddef.h>

// The most of a report that the box shows, in UTF-16 code units, and the
// piece in which a report is written to a stream, in bytes: a message, a path
// of PATH_CAPACITY units and a system text fit.
enum : unsigned { REPORT_TEXT_CAPACITY = 8192 };

// When set, called once before any report is written or shown: a window of
// the run's own (a first start's progress) goes first, so that the report is
// what the user sees last. Unset again before the call.
extern void (*beforeReport)(void);

// The caption of that box: the application's name, once the executable's
// attached data has been found; until then the system's own caption.
extern const wchar_t* reportWindowCaption;

// True when a report meant for destination, a standard handle, should be
// shown in a window: the handle leads nowhere, the program is a windowed one
// (a console program always has its console), and its window station is one
// that a user sees. A service's is not: nobody could ever answer the box
// there, so the report stays silent.
bool isReportWindowWanted(HANDLE destination);

// True when the process's window station is one that a user sees. Any
// desktop of it may be the one that takes the user's input later: a box
// shown while the screen is locked, or while a consent prompt has the
// input, waits for the user to come back to it.
bool isOnVisibleWindowStation(void);

// How long a box waits for its answer on a desktop that nobody may ever look
// at: one whose name is not the station's "Default" (a person's own desktop)
// and which does not take the input. Automation that starts programs on a
// desktop of its own then sees a failed start end, with its status.
enum : DWORD { REPORT_BOX_UNWATCHED_LIMIT_MS = 5 * 60 * 1000 };

// Shows text, the length code units (at most REPORT_TEXT_CAPACITY) of a
// report with LF line ends, in a message box with an error icon and one OK
// button, and returns once the user has answered it, or once the box's time
// on an unwatched desktop has run out.
void showReportWindow(const wchar_t* text, size_t length);
