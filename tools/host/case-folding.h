// Unicode's simple upper-case mapping of one BMP character, which is what
// Windows' case-insensitive comparison of file names uses: on Windows the
// system's own, elsewhere the C library's.
#pragma once

namespace onefile {

char16_t upperCase(char16_t c);

// What either falls back to when its mapping is not there.
inline char16_t upperAscii(char16_t c) { return c >= u'a' && c <= u'z' ? static_cast<char16_t>(c - 32) : c; }

}  // namespace onefile
