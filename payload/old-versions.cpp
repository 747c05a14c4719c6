#include "payload/old-versions.h"

#include <windows.h>

#include "diag/limits.h"
#include "diag/release.h"
#include "diag/system-calls.h"
#include "diag/text.h"
#include "paths/program-path.h"
#include "paths/version-folder.h"
#include "payload/folder-removal.h"

namespace {

// Folders taken on by one start; any more wait for the next.
constexpr unsigned OLD_FOLDERS_PER_START = 16;

wchar_t parentFolder[PATH_CAPACITY];
wchar_t mainProgramName[MAX_PATH];
VersionNumbers ownVersion;
// The target folder's own name: versions that differ only in case (1.0.0-Beta
// and 1.0.0-beta, which SemVer orders) name this one folder on Windows.
wchar_t ownFolderName[MAX_PATH];
wchar_t processIdText[PROCESS_ID_TEXT_CAPACITY];

// The names taken from the parent's listing, and the version part of each
// (the whole name, or what comes before an earlier start's mark).
wchar_t oldFolders[OLD_FOLDERS_PER_START][MAX_PATH];
size_t oldFolderVersionLength[OLD_FOLDERS_PER_START];
unsigned oldFolderCount;

wchar_t oldPath[PATH_CAPACITY];
wchar_t markedPath[PATH_CAPACITY];

bool appendText(BoundedText* text, const wchar_t* units, size_t count) {
  for (size_t i = 0; i < count; ++i)
    if (!appendUnitBounded(text, units[i])) return false;
  return true;
}

// parent\name[0..length) into path, or false when it does not fit.
bool pathInParent(wchar_t* path, const wchar_t* name, size_t length) {
  BoundedText text = {path, PATH_CAPACITY, 0};
  path[0] = L'\0';
  return appendText(&text, parentFolder, wcslen(parentFolder)) && appendUnitBounded(&text, L'\\') &&
         appendText(&text, name, length);
}

bool isDigits(const wchar_t* text) {
  if (*text == L'\0') return false;
  for (; *text != L'\0'; ++text)
    if (*text < L'0' || *text > L'9') return false;
  return true;
}

// The length of the version that an earlier start's mark follows, or 0.
size_t markedVersionLength(const wchar_t* name) {
  const wchar_t* mark = wcsstr(name, REMOVAL_MARK);
  VersionNumbers version;
  if (mark == nullptr || !isDigits(mark + wcslen(REMOVAL_MARK)) || !parseVersionText(name, mark - name, &version))
    return 0;
  return mark - name;
}

// An older version's folder is known by its main program: a folder that
// only looks like a version is someone else's.
bool holdsMainProgram(const wchar_t* name) {
  if (!pathInParent(oldPath, name, wcslen(name))) return false;
  BoundedText text = {oldPath, PATH_CAPACITY, wcslen(oldPath)};
  WIN32_FILE_ATTRIBUTE_DATA found;
  return appendUnitBounded(&text, L'\\') && appendText(&text, mainProgramName, wcslen(mainProgramName)) &&
         systemCalls.getFileAttributesEx(oldPath, GetFileExInfoStandard, &found) &&
         (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) == 0;
}

// The version part of a folder to remove, or 0 for a folder left alone.
// Links are never taken, whatever their names.
size_t oldFolderVersion(const WIN32_FIND_DATAW& entry) {
  if ((entry.dwFileAttributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT)) != FILE_ATTRIBUTE_DIRECTORY)
    return 0;
  size_t marked = markedVersionLength(entry.cFileName);
  if (marked != 0) return marked;
  size_t length = wcslen(entry.cFileName);
  if (_wcsicmp(entry.cFileName, ownFolderName) == 0) return 0;
  VersionNumbers version;
  // Only lower versions: a newer one may be running from a newer executable.
  if (!parseVersionText(entry.cFileName, length, &version) || compareVersions(version, ownVersion) >= 0) return 0;
  return holdsMainProgram(entry.cFileName) ? length : 0;
}

void takeOldFolders(void) {
  if (!pathInParent(oldPath, L"*", 1)) return;
  WIN32_FIND_DATAW entry;
  HANDLE listing = systemCalls.findFirstFileEx(oldPath, FindExInfoStandard, &entry, FindExSearchNameMatch, nullptr, 0);
  if (listing == INVALID_HANDLE_VALUE) return;
  do {
    size_t version = oldFolderVersion(entry);
    if (version == 0) continue;
    wmemcpy(oldFolders[oldFolderCount], entry.cFileName, MAX_PATH);
    oldFolderVersionLength[oldFolderCount++] = version;
  } while (oldFolderCount < OLD_FOLDERS_PER_START && systemCalls.findNextFile(listing, &entry));
  releaseQuietly(systemCalls.findClose(listing));
}

// Renamed to this process's mark first: the rename fails while a program
// runs from the folder or a file in it is open, and then the folder stays
// whole. A folder already under this mark (an earlier process of the same
// ID) is taken as it is.
bool markForRemoval(unsigned index) {
  const wchar_t* name = oldFolders[index];
  BoundedText text = {markedPath, PATH_CAPACITY, 0};
  if (!pathInParent(markedPath, name, oldFolderVersionLength[index])) return false;
  text.length = wcslen(markedPath);
  if (!appendText(&text, REMOVAL_MARK, wcslen(REMOVAL_MARK)) || !appendText(&text, processIdText, wcslen(processIdText)) ||
      !pathInParent(oldPath, name, wcslen(name)))
    return false;
  return wcscmp(oldPath, markedPath) == 0 || systemCalls.moveFileEx(oldPath, markedPath, 0);
}

}  // namespace

bool prepareOldVersionRemoval(const wchar_t* pathTemplate, const wchar_t* versionText, const wchar_t* target,
                              const wchar_t* mainProgram) {
  const wchar_t* programName = wcsrchr(mainProgram, L'\\');
  if (!templateEndsInVersionFolder(pathTemplate, wcslen(pathTemplate)) ||
      !parseVersionText(versionText, wcslen(versionText), &ownVersion) || programName == nullptr ||
      wcslen(target) >= PATH_CAPACITY || wcslen(programName + 1) >= MAX_PATH)
    return false;
  oldFolderCount = 0;
  wcscpy(parentFolder, target);
  cutToFolder(parentFolder);
  wcscpy(mainProgramName, programName + 1);
  size_t folderName = wcslen(parentFolder) + 1;
  if (folderName >= wcslen(target) || wcslen(target + folderName) >= MAX_PATH) return false;
  wcscpy(ownFolderName, target + folderName);
  char digits[PROCESS_ID_TEXT_CAPACITY];
  formatOwnProcessId(digits);
  processIdText[0] = L'\0';
  widenNarrowText(processIdText, PROCESS_ID_TEXT_CAPACITY, digits);
  return parentFolder[0] != L'\0' && wcscmp(parentFolder, target) != 0;
}

void removeOldVersions(void) {
  takeOldFolders();
  for (unsigned i = 0; i < oldFolderCount && !folderRemovalsStopped(); ++i)
    if (markForRemoval(i)) releaseQuietly(removeFolderTree(markedPath));  // what stays, a later start finishes
}
