// Closing written files beside the unpacking. Where an on-access scanner
// looks at each new file when its handle is closed, in the closing thread,
// a close can take far longer than the write: a few threads that close the
// files let the unpacking go on meanwhile. An executable is built for it by
// choice; without it every file is closed where it was written
// (close-pool.cpp).
#pragma once
#include <windows.h>

// How many threads close this run's written files: 0 (none: the unpacking
// thread closes them) up to ATTACHED_MAX_CLOSE_THREADS, the most an
// executable can ask for (resources/attached.h); more are taken as that.
// Chosen before the first file is written; the threads start with the first
// file handed over, so a run that writes nothing starts none.
void closeWrittenFilesOn(unsigned threads);

// Takes a file whose every byte has been written, and closes it: on one of
// the threads, or here when there are none, none could be started or too
// many files wait already. Its result is not examined.
void closeWrittenFile(HANDLE file);

// Returns once every file handed over has been closed and the threads have
// ended: nothing that runs afterwards (the program, its own checks, the
// removal of older versions) meets a file of this run still open.
void finishClosingWrittenFiles(void);
