#include "payload/folder-removal.h"

#include <windows.h>

#include "diag/release.h"
#include "diag/system-calls.h"
#include "diag/text.h"

namespace {

volatile LONG removalsStopped;

// path[0..length) followed by a backslash and name; false, with the path as
// it was, when that does not fit (the entry then stays).
bool appendName(wchar_t* path, size_t length, const wchar_t* name) {
  BoundedText text = {path, PATH_CAPACITY, length};
  bool fits = appendUnitBounded(&text, L'\\');
  for (; fits && *name != L'\0'; ++name) fits = appendUnitBounded(&text, *name);
  if (!fits) path[length] = L'\0';
  return fits;
}

bool isDotEntry(const wchar_t* name) {
  return name[0] == L'.' && (name[1] == L'\0' || (name[1] == L'.' && name[2] == L'\0'));
}

bool isLink(DWORD attributes) { return (attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0; }

// A read-only file or folder refuses to go until the attribute is cleared.
void clearReadOnly(const wchar_t* path, DWORD attributes) {
  if ((attributes & FILE_ATTRIBUTE_READONLY) != 0)
    releaseQuietly(systemCalls.setFileAttributes(path, FILE_ATTRIBUTE_NORMAL));  // the deletion tells
}

// A file that a newer version took from this folder has another name there.
// Its name stays: removing it would open the file for deletion for a moment,
// and the running program's own opens of the same file, which rarely share
// deletion, would be refused meanwhile. It takes no space of its own, and
// goes at a later start once no other name shares it. A file whose names
// cannot be counted stays too.
bool isSharedWithAnotherName(const wchar_t* path) {
  HANDLE file = systemCalls.createFile(path, FILE_READ_ATTRIBUTES, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                       nullptr, OPEN_EXISTING, FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
  if (file == INVALID_HANDLE_VALUE) return true;
  FILE_STANDARD_INFO info;
  bool shared = !systemCalls.getFileInformationEx(file, FileStandardInfo, &info, sizeof info) || info.NumberOfLinks > 1;
  closeQuietly(file);
  return shared;
}

bool removeEntry(wchar_t* path, DWORD attributes) {
  // The link itself goes, as the folder or file it poses as; never cleared
  // of read-only, which could reach what it points at.
  if (isLink(attributes))
    return (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0 ? systemCalls.removeDirectory(path) : systemCalls.deleteFile(path);
  if ((attributes & FILE_ATTRIBUTE_DIRECTORY) != 0) return removeFolderTree(path);
  if (isSharedWithAnotherName(path)) return false;
  clearReadOnly(path, attributes);
  return systemCalls.deleteFile(path);
}

bool removeEntries(wchar_t* path) {
  size_t length = wcslen(path);
  if (!appendName(path, length, L"*")) return false;
  WIN32_FIND_DATAW entry;
  HANDLE listing = systemCalls.findFirstFileEx(path, FindExInfoStandard, &entry, FindExSearchNameMatch, nullptr, 0);
  path[length] = L'\0';
  if (listing == INVALID_HANDLE_VALUE) return false;
  bool whole = true;
  do {
    if (isDotEntry(entry.cFileName)) continue;
    if (folderRemovalsStopped() || !appendName(path, length, entry.cFileName)) {
      whole = false;
      break;
    }
    whole = removeEntry(path, entry.dwFileAttributes) && whole;
    path[length] = L'\0';
  } while (systemCalls.findNextFile(listing, &entry));
  releaseQuietly(systemCalls.findClose(listing));
  return whole;  // a listing cut short leaves entries, which the folder's own removal finds
}

}  // namespace

void stopFolderRemovals(void) { InterlockedExchange(&removalsStopped, 1); }

bool folderRemovalsStopped(void) { return InterlockedCompareExchange(&removalsStopped, 0, 0) != 0; }

bool removeFolderTree(wchar_t* path) {
  // Held open without delete sharing while its entries go, and checked to be
  // a folder and no link through this very handle: nothing can swap it for a
  // link between the listing that found it and the walk into it.
  HANDLE folder = systemCalls.createFile(path, FILE_LIST_DIRECTORY | FILE_READ_ATTRIBUTES, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                         nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT,
                                         nullptr);
  if (folder == INVALID_HANDLE_VALUE) return false;
  BY_HANDLE_FILE_INFORMATION held;
  bool plainFolder = systemCalls.getFileInformation(folder, &held) &&
                     (held.dwFileAttributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT)) ==
                         FILE_ATTRIBUTE_DIRECTORY;
  bool emptied = plainFolder && removeEntries(path);
  closeQuietly(folder);
  if (!emptied || folderRemovalsStopped()) return false;
  clearReadOnly(path, held.dwFileAttributes);
  return systemCalls.removeDirectory(path);
}
