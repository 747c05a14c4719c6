// Creates the directories above a file on demand, remembering the ones known
// to exist so that later files in the same directory need no system call.
#include <windows.h>
#include <stdlib.h>
#include <wchar.h>

#include "diag/report.h"
#include "diag/text.h"
#include "paths/template.h"
#include "payload/directories-seams.h"

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

// The directory this run made last. It was empty when made, so on a first
// start nearly every file lands in a directory made moments before: no file
// there can be a current one, and asking the system to open it is wasted
// work (a failed open makes Wine read the whole directory, which grows with
// every file written). Only the newest is kept: a miss only costs that open.
wchar_t newestCreatedDirectory[PATH_CAPACITY];

void noteCreatedDirectory(const wchar_t* path) {
  newestCreatedDirectory[0] = L'\0';
  appendWideBounded(newestCreatedDirectory, PATH_CAPACITY, path);
}

// The upward walk stops at the home directory, which always exists.
void startKnownDirectories(void) {
  if (!expandTemplatePath(homeDirectory, HOME_TEMPLATE, PATH_CAPACITY)) reportExpansionFailure(HOME_TEMPLATE);
  knownDirectories[knownDirectoryCount++] = homeDirectory;
}

bool isKnownDirectory(const wchar_t* path) {
  for (unsigned i = 0; i < knownDirectoryCount; ++i)
    if (wcscmp(knownDirectories[i], path) == 0) return true;
  return false;
}

// A drive such as "C:" always counts as existing.
bool isBareDrive(const wchar_t* path) { return path[0] != L'\0' && path[1] == L':' && path[2] == L'\0'; }

// A full list, or a copy that cannot be allocated, only costs a system call
// for the next file in the same directory.
void rememberDirectory(const wchar_t* path) {
  if (knownDirectoryCount == KNOWN_DIRECTORIES_CAPACITY) return;
  wchar_t* copy = _wcsdup(path);
  if (copy != nullptr) knownDirectories[knownDirectoryCount++] = copy;
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
  if (CreateDirectoryW(path, nullptr))
    noteCreatedDirectory(path);
  else if (GetLastError() != ERROR_ALREADY_EXISTS)
    return false;
  rememberDirectory(path);
  return true;
}

void createDirectories(const wchar_t* path) {
  walkPath[0] = L'\0';
  appendWideBounded(walkPath, PATH_CAPACITY, path);
  createParentOf(wcslen(walkPath));
}

bool isInNewestCreatedDirectory(const wchar_t* filePath) {
  size_t length = wcslen(newestCreatedDirectory);
  if (length == 0 || wcsncmp(filePath, newestCreatedDirectory, length) != 0) return false;
  return filePath[length] == L'\\' && wcschr(filePath + length + 1, L'\\') == nullptr;
}
