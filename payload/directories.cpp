// Creates the directories above a file on demand, remembering the ones known
// to exist so that later files in the same directory need no system call.
#include <windows.h>
#include <stdlib.h>
#include <wchar.h>

#include "diag/report.h"
#include "diag/system-calls.h"
#include "diag/text.h"
#include "paths/template.h"
#include "payload/directories.h"

// Declared for the tests in directories-seams.h, which stands on this file
// and so is not included by it.
wchar_t* knownDirectories[KNOWN_DIRECTORIES_CAPACITY];
unsigned knownDirectoryCount;

namespace {

constexpr wchar_t HOME_TEMPLATE[] = L"{HOME}";

// The home directory lives here rather than on the heap: it is the first
// known directory and is needed for the rest of the run.
wchar_t homeDirectory[PATH_CAPACITY];

// The path that createDirectories walks up and down. Every level cuts it in
// place at its own backslash and restores it on the way back, so a deep path
// costs a few bytes of stack per level instead of a path copy per level.
wchar_t walkPath[PATH_CAPACITY];

// Which known directories this run made: each was empty when made, so on a
// first start nearly every file lands in one of them, and no file there can
// be a current one. Asking the system to open it would be wasted work (a
// failed open makes Wine read the whole directory, which grows with every
// file written). Files come in name order, so a tree's files return to a
// parent after its subdirectories: every directory made counts, not only the
// last one. A directory that the full list leaves out only costs that open.
bool knownDirectoryCreated[KNOWN_DIRECTORIES_CAPACITY];

// The upward walk stops at the home directory, which always exists.
void startKnownDirectories(void) {
  if (!expandTemplatePath(homeDirectory, HOME_TEMPLATE, PATH_CAPACITY)) reportExpansionFailure(HOME_TEMPLATE);
  knownDirectories[knownDirectoryCount++] = homeDirectory;
}

// The index of the known directory of the first length units of path, or -1.
// The newest entries come first: files in name order meet their directory
// soon after it was made.
int findKnownDirectory(const wchar_t* path, size_t length) {
  for (unsigned i = knownDirectoryCount; i > 0; --i) {
    const wchar_t* known = knownDirectories[i - 1];
    if (wcsncmp(known, path, length) == 0 && known[length] == L'\0') return (int)(i - 1);
  }
  return -1;
}

bool isKnownDirectory(const wchar_t* path) { return findKnownDirectory(path, wcslen(path)) >= 0; }

// A drive such as "C:" always counts as existing.
bool isBareDrive(const wchar_t* path) { return path[0] != L'\0' && path[1] == L':' && path[2] == L'\0'; }

// A full list, or a copy that cannot be allocated, only costs a system call
// for the next file in the same directory.
void rememberDirectory(const wchar_t* path, bool created) {
  if (knownDirectoryCount == KNOWN_DIRECTORIES_CAPACITY) return;
  wchar_t* copy = systemCalls.duplicateText(path);
  if (copy == nullptr) return;
  knownDirectoryCreated[knownDirectoryCount] = created;
  knownDirectories[knownDirectoryCount++] = copy;
}

// Position of the backslash that ends the parent of walkPath[0..length), or 0
// when there is no parent to cut: a backslash in the very first position
// does not count.
size_t parentCut(size_t length) {
  for (size_t i = length; i > 1; --i)
    if (walkPath[i - 1] == L'\\') return i - 1;
  return 0;
}

// Makes the parent of walkPath[0..length) exist, walking up only as far as
// a directory that exists and creating the missing ones on the way down.
void createParentOf(size_t length) {
  size_t cut = parentCut(length);
  if (cut == 0) return;
  walkPath[cut] = L'\0';
  if (!ensureDirectory(walkPath)) {
    createParentOf(cut);
    // Not examined: a directory that still cannot be made shows when the
    // file below it is opened for writing, which reports the failure.
    ensureDirectory(walkPath);
  }
  walkPath[cut] = L'\\';
}

}  // namespace

bool ensureDirectory(const wchar_t* path) {
  if (knownDirectoryCount == 0) startKnownDirectories();
  if (isKnownDirectory(path) || isBareDrive(path)) return true;
  bool created = systemCalls.createDirectory(path, nullptr);
  if (!created && GetLastError() != ERROR_ALREADY_EXISTS) return false;
  rememberDirectory(path, created);
  return true;
}

void createDirectories(const wchar_t* path) {
  walkPath[0] = L'\0';
  appendWideBounded(walkPath, PATH_CAPACITY, path);
  createParentOf(wcslen(walkPath));
}

bool isInCreatedDirectory(const wchar_t* filePath) {
  const wchar_t* cut = wcsrchr(filePath, L'\\');
  if (cut == nullptr) return false;
  int known = findKnownDirectory(filePath, (size_t)(cut - filePath));
  return known >= 0 && knownDirectoryCreated[known];
}
