// A window that shows a long first start's progress, in an executable built
// with one (progress-window.cpp). A windowed application's first start may
// unpack for seconds with nothing on the screen, and users then start it
// again; this shows them that it is working. The window lives on a thread of
// its own; the unpacking only posts the bar's position to it and reads
// whether the user closed it.
#pragma once

// The window appears once a start has been writing this long.
enum : unsigned { PROGRESS_WINDOW_DELAY_MS = 500 };

// Lets the unpacking show its progress: from the first file written on, the
// window appears after PROGRESS_WINDOW_DELAY_MS and follows the payload.
// Closing it ends the run with status 2 and no report; what was written stays
// for the next start to complete.
void watchUnpacking(void);

// Closes the window, if one was shown, and ends its thread: before the
// program runs (the program then may take the foreground), and before any
// report.
void closeProgressWindow(void);
