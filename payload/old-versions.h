// The folders of an application's older versions: those beside this
// version's target folder, which its next versions no longer need.
#pragma once
#include <wchar.h>

#include "paths/version-folder.h"  // REMOVAL_MARK

// Takes what the removal works from: the parent of the target folder, this
// version and the main program's file name. False, and nothing to remove,
// unless the template ends in \<name>\{VERSION} and the version is one.
// Called on the main thread once the files are in place.
bool prepareOldVersionRemoval(const wchar_t* pathTemplate, const wchar_t* versionText, const wchar_t* target,
                              const wchar_t* mainProgram);

// Lists the parent once. Each folder there named as a version lower than
// this one that holds a file of the main program's name, and each folder an
// earlier start marked for removal, is renamed to this process's mark and
// then removed. A folder that refuses the rename (a program runs from it, a
// file in it is open) stays whole for a later start; nothing else in the
// parent is touched. Silent: every failure leaves its entry for a later start.
void removeOldVersions(void);
