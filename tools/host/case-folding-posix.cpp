#include "host/case-folding.h"

#include <clocale>
#include <cwctype>
#include <locale.h>
#include <wctype.h>

namespace onefile {

// C.UTF-8 knows the simple mappings; without it only ASCII is folded.
char16_t upperCase(char16_t c) {
  static locale_t locale = newlocale(LC_CTYPE_MASK, "C.UTF-8", static_cast<locale_t>(0));
  if (locale == static_cast<locale_t>(0)) return upperAscii(c);
  wint_t upper = towupper_l(c, locale);
  return upper <= 0xFFFF ? static_cast<char16_t>(upper) : c;
}

}  // namespace onefile
