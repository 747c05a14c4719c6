#include "payload/version-beside.h"

#include <windows.h>

#include "diag/limits.h"
#include "diag/release.h"
#include "diag/system-calls.h"
#include "diag/text.h"
#include "paths/program-path.h"
#include "paths/target-directory.h"
#include "paths/version-folder.h"
#include "payload/directories.h"
#include "payload/file-checksum.h"

namespace {

// What checking a file beside costs, in bytes of its content: its open,
// query, mapping and close cost about what reading this much more does
// (under Wine, where they go through its server, a little more).
constexpr uint64_t CHECK_COST_PER_FILE = 64 << 10;
// Checks that found the file beside changed are wasted. They go on while
// their cost stays within this allowance, plus what the files taken saved,
// plus an eighth of what had to be written: an update whose every file
// changed then checks about one file in eight beside it, which bounds its
// cost at about a ninth above a first start's, and a run of changed files
// (an application's own modules sit together) is followed by checks again
// as soon as an unchanged file beside repays them.
constexpr uint64_t WASTED_CHECKS_ALLOWANCE = 4 << 20;
constexpr uint64_t WRITTEN_PER_WASTED_CHECK = 8;

enum class BesideState { UNUSED, NOT_LOOKED_FOR, FOUND, NONE };

BesideState state = BesideState::UNUSED;
VersionNumbers ownVersion;
wchar_t besideFolder[PATH_CAPACITY];
size_t targetLength;
wchar_t besidePath[PATH_CAPACITY];
uint64_t wastedCost, savedCost, writtenCost;

bool appendWhole(BoundedText* text, const wchar_t* units) {
  for (; *units != L'\0'; ++units)
    if (!appendUnitBounded(text, *units)) return false;
  return true;
}

// folder\name into path, or false when it does not fit.
bool joinPath(wchar_t* path, const wchar_t* folder, const wchar_t* name) {
  BoundedText text = {path, PATH_CAPACITY, 0};
  path[0] = L'\0';
  return appendWhole(&text, folder) && appendUnitBounded(&text, L'\\') && appendWhole(&text, name);
}

// A plain folder named as another version: not a link or junction, which
// could lead anywhere, and not a folder an earlier start marked for removal
// (its name is no version).
bool isOtherVersion(const WIN32_FIND_DATAW& entry, VersionNumbers* version) {
  return (entry.dwFileAttributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT)) ==
             FILE_ATTRIBUTE_DIRECTORY &&
         parseVersionText(entry.cFileName, wcslen(entry.cFileName), version) &&
         compareVersions(*version, ownVersion) != 0;
}

// Lists the parent once, without short names, for the newest other version.
void lookForNewestVersionBeside(void) {
  static wchar_t parent[PATH_CAPACITY], candidate[PATH_CAPACITY];
  wcscpy(parent, targetDirectory);
  cutToFolder(parent);
  if (parent[0] == L'\0' || !joinPath(besidePath, parent, L"*")) return;
  WIN32_FIND_DATAW entry;
  HANDLE listing = systemCalls.findFirstFileEx(besidePath, FindExInfoBasic, &entry, FindExSearchNameMatch, nullptr, 0);
  if (listing == INVALID_HANDLE_VALUE) return;
  VersionNumbers newest = {}, version;
  bool found = false;
  do {
    if (!isOtherVersion(entry, &version) || (found && compareVersions(version, newest) <= 0) ||
        !joinPath(candidate, parent, entry.cFileName))
      continue;
    wcscpy(besideFolder, candidate);
    newest = version;
    found = true;
  } while (systemCalls.findNextFile(listing, &entry));
  releaseQuietly(systemCalls.findClose(listing));
  if (found) state = BesideState::FOUND;
}

bool isWorthChecking(void) {
  return wastedCost <= WASTED_CHECKS_ALLOWANCE + savedCost + writtenCost / WRITTEN_PER_WASTED_CHECK;
}

// Refusals that every other link of this start would meet too: the file
// system has no links (FAT, exFAT), a share does not make them, the folders
// lie on different volumes.
bool refusesEveryLink(DWORD errorCode) {
  return errorCode == ERROR_NOT_SUPPORTED || errorCode == ERROR_INVALID_FUNCTION || errorCode == ERROR_NOT_SAME_DEVICE;
}

// Opened as itself, never through a link it may be, and shared with readers
// only: from its check until the new name is made, nobody can change it,
// rename it or remove it.
HANDLE openToHold(const wchar_t* path) {
  return systemCalls.createFile(path, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, FILE_FLAG_OPEN_REPARSE_POINT,
                                nullptr);
}

bool isSameFile(const BY_HANDLE_FILE_INFORMATION& a, const BY_HANDLE_FILE_INFORMATION& b) {
  return a.dwVolumeSerialNumber == b.dwVolumeSerialNumber && a.nFileIndexHigh == b.nFileIndexHigh &&
         a.nFileIndexLow == b.nFileIndexLow;
}

// The held file beside, as the record describes it: a plain file of its
// size whose content passes the check that keeps a file in place. A stored
// 0, which matches a file that cannot be read, never takes one.
bool holdsRecord(HANDLE held, const RecordHeader* record, BY_HANDLE_FILE_INFORMATION* info) {
  if (!systemCalls.getFileInformation(held, info) ||
      (info->dwFileAttributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT)) != 0 ||
      (((uint64_t)info->nFileSizeHigh << 32) | info->nFileSizeLow) != record->size)
    return false;
  ExistingFile found = checkOpenFile(held);
  return (found.checksum != NO_USABLE_FILE || found.isEmpty) && holdsRecordContent(*record, found);
}

// The new name is looked up again: it must be the file that was checked.
bool namesHeldFile(const wchar_t* path, const BY_HANDLE_FILE_INFORMATION& held) {
  HANDLE file = systemCalls.createFile(path, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                       nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return false;
  BY_HANDLE_FILE_INFORMATION named;
  bool same = systemCalls.getFileInformation(file, &named) && isSameFile(named, held);
  closeQuietly(file);
  return same;
}

bool linkHeldFile(const wchar_t* targetPath, const BY_HANDLE_FILE_INFORMATION& held) {
  createDirectories(targetPath);
  if (!systemCalls.createHardLink(targetPath, besidePath, nullptr)) {
    if (refusesEveryLink(GetLastError())) state = BesideState::NONE;
    return false;
  }
  return namesHeldFile(targetPath, held);
}

bool takeHeldFile(const RecordHeader* record, const wchar_t* targetPath, uint64_t cost) {
  HANDLE held = openToHold(besidePath);
  if (held == INVALID_HANDLE_VALUE) {
    wastedCost += CHECK_COST_PER_FILE;
    return false;
  }
  BY_HANDLE_FILE_INFORMATION info;
  bool same = holdsRecord(held, record, &info);
  bool taken = same && linkHeldFile(targetPath, info);
  closeQuietly(held);
  if (!same) wastedCost += cost;
  if (taken) savedCost += cost;
  return taken;
}

}  // namespace

void allowTakingFromVersionBeside(const wchar_t* pathTemplate, const wchar_t* versionText) {
  if (templateEndsInVersionFolder(pathTemplate, wcslen(pathTemplate)) &&
      parseVersionText(versionText, wcslen(versionText), &ownVersion))
    state = BesideState::NOT_LOOKED_FOR;
}

bool takeFromVersionBeside(const RecordHeader* record, const wchar_t* targetPath) {
  if (state == BesideState::NOT_LOOKED_FOR) {
    state = BesideState::NONE;
    targetLength = wcslen(targetDirectory);
    lookForNewestVersionBeside();
  }
  if (state != BesideState::FOUND) return false;
  uint64_t cost = record->size + CHECK_COST_PER_FILE;
  bool taken = isWorthChecking() && joinPath(besidePath, besideFolder, targetPath + targetLength + 1) &&
               takeHeldFile(record, targetPath, cost);
  if (!taken) writtenCost += cost;
  return taken;
}
