// Shared with onefile-pack: compiled by both sides, it stands on its own and
// includes only system headers and the other shared headers.
//
// Version folders: the names that a version gives a cache folder, and the
// template shape under which the folders of other versions are siblings of
// the target folder. The bootstrap reads them to remove older versions, the
// tool to tell at build time whether that removal can work. Header-only and
// free of the C++ library; the code unit type is open because the bootstrap
// holds texts as wchar_t and the tool as char16_t.
#pragma once
#include <stddef.h>
#include <stdint.h>

#include "paths/placeholder-names.h"

inline constexpr unsigned VERSION_PART_COUNT = 4;
inline constexpr unsigned VERSION_PART_DIGITS = 5;
inline constexpr unsigned long VERSION_PART_MAX = 65535;

// A version: up to four numbers, the missing ones zero, so that 1.2 and
// 1.2.0 are the same version.
struct VersionNumbers {
  uint16_t part[VERSION_PART_COUNT];
};

// text[0..length) as one to four dot-separated numbers of 0 to 65535; false
// for anything else (an empty part, a sign, a space, a sixth digit).
template <typename Unit>
bool parseVersionText(const Unit* text, size_t length, VersionNumbers* version) {
  VersionNumbers parsed = {};
  unsigned part = 0;
  size_t start = 0;
  for (;;) {
    size_t end = start;
    unsigned long value = 0;
    while (end < length && text[end] != Unit('.')) {
      unsigned unit = static_cast<unsigned>(text[end]);
      if (unit < '0' || unit > '9' || end - start == VERSION_PART_DIGITS) return false;
      value = value * 10 + (unit - '0');
      ++end;
    }
    if (part == VERSION_PART_COUNT || end == start || value > VERSION_PART_MAX) return false;
    parsed.part[part++] = static_cast<uint16_t>(value);
    if (end == length) break;
    start = end + 1;
  }
  *version = parsed;
  return true;
}

// Negative, zero or positive as a is lower than, the same as or higher than b.
inline int compareVersions(const VersionNumbers& a, const VersionNumbers& b) {
  for (unsigned i = 0; i < VERSION_PART_COUNT; ++i)
    if (a.part[i] != b.part[i]) return a.part[i] < b.part[i] ? -1 : 1;
  return 0;
}

// True when the template ends in \<literal>\{VERSION}: its last folder is
// the version alone, and the one above it a fixed name (not "." or ".." or
// any other that Windows would cut to nothing),
// so that every version of the application gets a sibling folder in one
// parent that belongs to the application. Any other shape (a bare
// {TEMP}\{VERSION}, a version inside a name, a placeholder in the parent's
// name) gives no such parent, and nothing there may be touched.
template <typename Unit>
bool templateEndsInVersionFolder(const Unit* text, size_t length) {
  constexpr size_t PLACEHOLDER_UNITS = 9;  // "{VERSION}"
  if (length < PLACEHOLDER_UNITS + 2) return false;
  size_t last = length - PLACEHOLDER_UNITS;
  if (text[last] != Unit('{') || text[length - 1] != Unit('}') ||
      findPlaceholderId(text + last + 1, PLACEHOLDER_UNITS - 2) != PLACEHOLDER_VERSION)
    return false;
  if (text[last - 1] != Unit('\\')) return false;
  size_t parentEnd = last - 1, parentStart = parentEnd;
  while (parentStart > 0 && text[parentStart - 1] != Unit('\\')) --parentStart;
  if (parentStart == 0 || parentStart == parentEnd) return false;  // no separator above it, or an empty name
  bool onlyDotsAndSpaces = true;
  for (size_t i = parentStart; i < parentEnd; ++i) {
    if (text[i] == Unit('{') || text[i] == Unit('}')) return false;
    onlyDotsAndSpaces = onlyDotsAndSpaces && (text[i] == Unit('.') || text[i] == Unit(' '));
  }
  return !onlyDotsAndSpaces;
}
