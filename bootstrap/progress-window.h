// A window that shows a long first start's progress, in an executable built
// with one (progress-window.cpp). A windowed application's first start may
// unpack for seconds with nothing on the screen, and users then start it
// again; this shows them that it is working. Everything runs on the one
// thread of the run: the window's messages are handled between the pieces
// of content that the unpacking moves.
#pragma once

// The window appears once a start has been writing this long.
enum : unsigned { PROGRESS_WINDOW_DELAY_MS = 500 };

// Lets the unpacking show its progress: from the first file written on, the
// window appears after PROGRESS_WINDOW_DELAY_MS and follows the payload.
// Closing it ends the run with status 2 and no report; what was written stays
// for the next start to complete.
void watchUnpacking(void);

// Closes the window, if one was shown: before the program starts, and before
// any report.
void closeProgressWindow(void);
