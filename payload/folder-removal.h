// Removes a folder that was renamed for removal, with everything in it,
// without ever walking into a link, and stops between entries once asked to:
// what it leaves, a later start finishes.
#pragma once
#include <wchar.h>

// Asks a removal running on another thread to stop after its current call.
void stopFolderRemovals(void);
bool folderRemovalsStopped(void);

// Removes the folder at path and everything in it; false when anything
// stays. path is a buffer of PATH_CAPACITY units, which names the entries
// below the folder while they go and holds the folder's path again on return.
// A junction or symbolic link inside is removed as a link; what it points
// at is never opened. Every failure is silent: the entry stays.
bool removeFolderTree(wchar_t* path);
