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
// The longest prerelease part taken (after the '-', before any '+'): a
// version must fit a folder name, and the bootstrap holds it in a fixed field.
inline constexpr unsigned VERSION_PRERELEASE_UNITS = 64;

// The mark of a folder being removed: "<version>.removing.<process ID>". No
// version holds it, so that no version's folder is taken for a marked one.
inline constexpr wchar_t REMOVAL_MARK[] = L".removing.";

// A version: up to four numbers, the missing ones zero, so that 1.2 and
// 1.2.0 are the same version; then, as SemVer writes them, an optional
// prerelease ("-beta.3") and build part ("+exp.sha.5f3a"). The build part
// takes no part in the order, so it is checked and not kept.
struct VersionNumbers {
  uint16_t part[VERSION_PART_COUNT];
  unsigned char prereleaseLength;  // 0: a release
  char prerelease[VERSION_PRERELEASE_UNITS];
};

namespace version_text {

inline bool isIdentifierUnit(unsigned unit) {
  return (unit >= '0' && unit <= '9') || (unit >= 'A' && unit <= 'Z') || (unit >= 'a' && unit <= 'z') || unit == '-';
}

inline bool isDigit(unsigned unit) { return unit >= '0' && unit <= '9'; }

// text[start..end) as dot-separated identifiers of [0-9A-Za-z-], none empty;
// in a prerelease, a numeric identifier has no leading zero.
template <typename Unit>
bool identifiersValid(const Unit* text, size_t start, size_t end, bool numericWithoutLeadingZero) {
  if (start == end) return false;
  size_t identifier = start;
  bool numeric = true;
  for (size_t i = start; i <= end; ++i) {
    if (i == end || text[i] == Unit('.')) {
      if (i == identifier) return false;
      if (numericWithoutLeadingZero && numeric && i - identifier > 1 && text[identifier] == Unit('0')) return false;
      identifier = i + 1;
      numeric = true;
      continue;
    }
    unsigned unit = static_cast<unsigned>(text[i]);
    if (!isIdentifierUnit(unit)) return false;
    numeric = numeric && isDigit(unit);
  }
  return true;
}

// True for an identifier of digits alone.
inline bool isNumeric(const char* text, size_t length) {
  for (size_t i = 0; i < length; ++i)
    if (!isDigit(static_cast<unsigned char>(text[i]))) return false;
  return true;
}

// SemVer's order of two prerelease identifiers: numbers by value (they have
// no leading zeros, so the longer is the larger), below any alphanumeric
// one, and those in ASCII order.
inline int compareIdentifiers(const char* a, size_t aLength, const char* b, size_t bLength) {
  bool aNumeric = isNumeric(a, aLength), bNumeric = isNumeric(b, bLength);
  if (aNumeric != bNumeric) return aNumeric ? -1 : 1;
  if (aNumeric && aLength != bLength) return aLength < bLength ? -1 : 1;
  for (size_t i = 0; i < aLength && i < bLength; ++i)
    if (a[i] != b[i]) return static_cast<unsigned char>(a[i]) < static_cast<unsigned char>(b[i]) ? -1 : 1;
  return aLength == bLength ? 0 : aLength < bLength ? -1 : 1;
}

inline size_t identifierEnd(const char* text, size_t at, size_t length) {
  while (at < length && text[at] != '.') ++at;
  return at;
}

}  // namespace version_text

// text[0..length) as one to four dot-separated numbers of 0 to 65535, then
// optionally '-' and a prerelease and '+' and a build part as SemVer has
// them; false for anything else (an empty part, a sign, a space, a sixth
// digit, a prerelease longer than VERSION_PRERELEASE_UNITS).
template <typename Unit>
bool parseVersionText(const Unit* text, size_t length, VersionNumbers* version) {
  VersionNumbers parsed = {};
  size_t numbersEnd = 0, plus = length;
  while (numbersEnd < length && text[numbersEnd] != Unit('-') && text[numbersEnd] != Unit('+')) ++numbersEnd;
  for (size_t i = numbersEnd; i < length && plus == length; ++i)
    if (text[i] == Unit('+')) plus = i;
  unsigned part = 0;
  size_t start = 0;
  for (;;) {
    size_t end = start;
    unsigned long value = 0;
    while (end < numbersEnd && text[end] != Unit('.')) {
      unsigned unit = static_cast<unsigned>(text[end]);
      if (!version_text::isDigit(unit) || end - start == VERSION_PART_DIGITS) return false;
      value = value * 10 + (unit - '0');
      ++end;
    }
    if (part == VERSION_PART_COUNT || end == start || value > VERSION_PART_MAX) return false;
    parsed.part[part++] = static_cast<uint16_t>(value);
    if (end == numbersEnd) break;
    start = end + 1;
  }
  if (numbersEnd < plus) {  // a prerelease
    size_t first = numbersEnd + 1;
    if (plus - first > VERSION_PRERELEASE_UNITS || !version_text::identifiersValid(text, first, plus, true))
      return false;
    for (size_t i = first; i < plus; ++i) parsed.prerelease[i - first] = static_cast<char>(text[i]);
    parsed.prereleaseLength = static_cast<unsigned char>(plus - first);
  }
  if (plus < length && !version_text::identifiersValid(text, plus + 1, length, false)) return false;
  *version = parsed;
  return true;
}

// Negative, zero or positive as a is lower than, the same as or higher than
// b, in SemVer's order: the numbers first; with equal numbers a prerelease
// comes before its release, and two prereleases compare identifier by
// identifier, a shorter list before a longer one it begins.
inline int compareVersions(const VersionNumbers& a, const VersionNumbers& b) {
  for (unsigned i = 0; i < VERSION_PART_COUNT; ++i)
    if (a.part[i] != b.part[i]) return a.part[i] < b.part[i] ? -1 : 1;
  if (a.prereleaseLength == 0 || b.prereleaseLength == 0)
    return a.prereleaseLength == b.prereleaseLength ? 0 : a.prereleaseLength == 0 ? 1 : -1;
  size_t atA = 0, atB = 0;
  for (;;) {
    size_t endA = version_text::identifierEnd(a.prerelease, atA, a.prereleaseLength);
    size_t endB = version_text::identifierEnd(b.prerelease, atB, b.prereleaseLength);
    int order = version_text::compareIdentifiers(a.prerelease + atA, endA - atA, b.prerelease + atB, endB - atB);
    if (order != 0) return order;
    bool aEnded = endA == a.prereleaseLength, bEnded = endB == b.prereleaseLength;
    if (aEnded || bEnded) return aEnded == bEnded ? 0 : aEnded ? -1 : 1;
    atA = endA + 1;
    atB = endB + 1;
  }
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
