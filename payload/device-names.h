// Shared with onefile-pack: compiled by both sides, it stands on its own and
// includes only system headers and the other shared headers.
//
// The names that Windows takes for a device wherever they stand in a path:
// CON, PRN, AUX, NUL, and COM or LPT with one digit (0-9 or the superscripts
// 1, 2 and 3), in any case, with or without an extension, and with spaces
// before the extension. "C:\app\nul.txt" opens the null device and
// "C:\app\com1" a serial port, so no file of such a name can be written or
// read back: the packer refuses them, and the bootstrap refuses them in a
// payload as a damaged one. Written over any 16-bit code unit, so that the
// bootstrap's wchar_t and the packer's char16_t share the one rule.
#pragma once
#include <stddef.h>

namespace device_name_detail {

constexpr unsigned upperAscii(unsigned unit) { return unit >= 'a' && unit <= 'z' ? unit - ('a' - 'A') : unit; }

template <typename Unit>
bool startsWithWord(const Unit* base, const char* word) {
  for (size_t i = 0; word[i] != '\0'; ++i)
    if (upperAscii(static_cast<unsigned>(base[i])) != static_cast<unsigned>(word[i])) return false;
  return true;
}

constexpr bool isDeviceDigit(unsigned unit) {
  return (unit >= '0' && unit <= '9') || unit == 0x00B9 || unit == 0x00B2 || unit == 0x00B3;
}

}  // namespace device_name_detail

// Whether the path component of length units names a device: only its part
// before the first dot counts, with the spaces that end that part dropped.
template <typename Unit>
bool isReservedDeviceName(const Unit* component, size_t length) {
  using namespace device_name_detail;
  size_t base = 0;
  while (base < length && component[base] != Unit('.')) ++base;
  while (base > 0 && component[base - 1] == Unit(' ')) --base;
  if (base == 3) {
    return startsWithWord(component, "CON") || startsWithWord(component, "PRN") ||
           startsWithWord(component, "AUX") || startsWithWord(component, "NUL");
  }
  if (base == 4 && isDeviceDigit(static_cast<unsigned>(component[3])))
    return startsWithWord(component, "COM") || startsWithWord(component, "LPT");
  return false;
}
