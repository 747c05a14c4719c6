#include "host/case-folding.h"

#include <windows.h>

namespace onefile {

char16_t upperCase(char16_t c) {
  wchar_t upper = 0;
  wchar_t character = static_cast<wchar_t>(c);
  if (LCMapStringEx(LOCALE_NAME_INVARIANT, LCMAP_UPPERCASE, &character, 1, &upper, 1, nullptr, nullptr, 0) != 1)
    return upperAscii(c);
  return static_cast<char16_t>(upper);
}

}  // namespace onefile
