#include "onefile-pack/target-length.h"

#include <optional>
#include <string>

#include "paths/placeholder-names.h"

namespace onefile {
namespace {

// A path the classic Windows limit (MAX_PATH, 260 units with the terminator)
// allows. The shell folders come out of a buffer of exactly that size; the
// program's own path and the current folder may in principle be longer, but
// most ways of starting a program still keep to it. A user who expects more
// gives --cache-folder-length.
constexpr size_t CLASSIC_PATH_UNITS = 259;
// GetTempPathW returns at most MAX_PATH + 1 units; its trailing backslash is
// dropped by the expansion.
constexpr size_t TEMP_FOLDER_UNITS = 260;
constexpr size_t PROCESS_ID_DIGITS = 10;    // a 32-bit number
constexpr size_t MICROSECOND_DIGITS = 6;    // always zero-padded to six
constexpr size_t FILETIME_COUNT_DIGITS = 19;  // the largest signed 64-bit number

// Where a placeholder's value is the version text, its length is known
// exactly at build time and stands in for the allowance.
struct Allowance {
  PlaceholderId id;
  size_t units;
  bool isFullPath;  // the value starts with a drive or server
  bool isVersion;
};

constexpr Allowance ALLOWANCES[] = {
    {PLACEHOLDER_TEMP, TEMP_FOLDER_UNITS, true, false},
    {PLACEHOLDER_PROGRAM, CLASSIC_PATH_UNITS, true, false},
    {PLACEHOLDER_PROGRAM_BASE, CLASSIC_PATH_UNITS, true, false},
    {PLACEHOLDER_PROGRAM_DIR, CLASSIC_PATH_UNITS, true, false},
    {PLACEHOLDER_PID, PROCESS_ID_DIGITS, false, false},
    {PLACEHOLDER_HOME, CLASSIC_PATH_UNITS, true, false},
    {PLACEHOLDER_CACHE_DIR, CLASSIC_PATH_UNITS, true, false},
    {PLACEHOLDER_VERSION, 0, false, true},
    {PLACEHOLDER_FILE_VERSION, 0, false, true},
    {PLACEHOLDER_PRODUCT_VERSION, 0, false, true},
    {PLACEHOLDER_RANDOM, RANDOM_TEXT_LENGTH, false, false},
    {PLACEHOLDER_TIME_US, MICROSECOND_DIGITS, false, false},
    {PLACEHOLDER_TIME, FILETIME_COUNT_DIGITS, false, false},
};
static_assert(placeholderTableInIdOrder(ALLOWANCES));

// "C:\..." or "\\server\...": a path the system does not complete with the
// current folder.
bool isFullPath(std::u16string_view text) {
  if (text.size() >= 2 && text[0] == u'\\' && text[1] == u'\\') return true;
  bool driveLetter = text.size() >= 3 && ((text[0] >= u'A' && text[0] <= u'Z') || (text[0] >= u'a' && text[0] <= u'z'));
  return driveLetter && text[1] == u':' && text[2] == u'\\';
}

}  // namespace

size_t estimatedTargetFolderLength(std::u16string_view pathTemplate, size_t versionUnits) {
  size_t length = 0;
  constexpr size_t NO_NAME = std::u16string_view::npos;
  std::u16string lead;                 // literal text before the first placeholder
  std::optional<PlaceholderId> first;  // the first placeholder that gives a value
  size_t nameStart = NO_NAME;          // where the open name starts, if one is open
  for (size_t i = 0; i < pathTemplate.size(); ++i) {
    char16_t unit = pathTemplate[i];
    if (unit == u'{') {
      nameStart = i + 1;  // like the bootstrap, a name already open is dropped
    } else if (unit == u'}' && nameStart != NO_NAME) {
      PlaceholderId id = findPlaceholderId(pathTemplate.data() + nameStart, i - nameStart);
      nameStart = NO_NAME;
      if (id == PLACEHOLDER_COUNT) continue;
      length += ALLOWANCES[id].isVersion ? versionUnits : ALLOWANCES[id].units;
      if (!first) first = id;
    } else if (nameStart == NO_NAME) {
      ++length;
      if (!first) lead += unit;
    }
  }
  bool full = lead.empty() && first ? ALLOWANCES[*first].isFullPath : isFullPath(lead);
  // A relative target folder is completed with the current folder and a backslash.
  return full ? length : length + CLASSIC_PATH_UNITS + 1;
}

}  // namespace onefile
