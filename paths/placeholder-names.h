// Shared with onefile-pack: compiled by both sides, it stands on its own and
// includes only system headers and the other shared headers.
//
// The names a path template may use between braces, the one list that the
// bootstrap's expansion and onefile-pack's check both read. Every other table
// kept per placeholder holds one entry for each id, in id order, and asserts
// so with placeholderTableInIdOrder: a name added here cannot be missed there.
// Header-only and free of the C++ library: the bootstrap includes it too.
#pragma once
#include <stddef.h>

enum PlaceholderId : unsigned {
  PLACEHOLDER_TEMP,
  PLACEHOLDER_PROGRAM,
  PLACEHOLDER_PROGRAM_BASE,
  PLACEHOLDER_PROGRAM_DIR,
  PLACEHOLDER_PID,
  PLACEHOLDER_HOME,
  PLACEHOLDER_CACHE_DIR,
  PLACEHOLDER_VERSION,
  PLACEHOLDER_FILE_VERSION,
  PLACEHOLDER_PRODUCT_VERSION,
  PLACEHOLDER_RANDOM,
  PLACEHOLDER_TIME_US,
  PLACEHOLDER_TIME,
  PLACEHOLDER_COUNT,
};

constexpr const wchar_t* PLACEHOLDER_NAMES[] = {
    L"TEMP",    L"PROGRAM",      L"PROGRAM_BASE",    L"PROGRAM_DIR", L"PID",     L"HOME", L"CACHE_DIR",
    L"VERSION", L"FILE_VERSION", L"PRODUCT_VERSION", L"RANDOM",      L"TIME_US", L"TIME",
};
static_assert(sizeof PLACEHOLDER_NAMES / sizeof PLACEHOLDER_NAMES[0] == PLACEHOLDER_COUNT);

// The length of {RANDOM}'s text (random-text.h): 64 bits in 6-bit characters.
// onefile-pack counts it when it estimates the length of a target folder.
inline constexpr unsigned RANDOM_TEXT_LENGTH = 11;

// The placeholder called name[0..length), its ASCII letters compared without
// regard to case, or PLACEHOLDER_COUNT for none. The code unit type is open
// because the bootstrap holds names as wchar_t and the tool as char16_t.
template <typename Unit>
PlaceholderId findPlaceholderId(const Unit* name, size_t length) {
  for (unsigned id = 0; id < PLACEHOLDER_COUNT; ++id) {
    const wchar_t* known = PLACEHOLDER_NAMES[id];
    size_t i = 0;
    for (; i < length && known[i] != L'\0'; ++i) {
      unsigned unit = static_cast<unsigned>(name[i]);
      if (unit >= 'a' && unit <= 'z') unit -= 'a' - 'A';
      if (unit != static_cast<unsigned>(known[i])) break;
    }
    if (i == length && known[i] == L'\0') return static_cast<PlaceholderId>(id);
  }
  return PLACEHOLDER_COUNT;
}

// True when table[i].id is i for every id and the table has no other entry.
template <typename Entry, size_t Count>
constexpr bool placeholderTableInIdOrder(const Entry (&table)[Count]) {
  if (Count != PLACEHOLDER_COUNT) return false;
  for (size_t i = 0; i < Count; ++i)
    if (table[i].id != i) return false;
  return true;
}
