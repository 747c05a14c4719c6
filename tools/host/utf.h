// Conversions between the host's UTF-8 file names and the payload's UTF-16LE
// record names.
#pragma once
#include <optional>
#include <string>
#include <string_view>

namespace onefile {

// Strict UTF-8 (no overlong forms, no surrogates, nothing above U+10FFFF);
// nullopt for anything else.
std::optional<std::u16string> utf8ToUtf16(std::string_view utf8);

// Unpaired surrogates become U+FFFD: the result is for display and for host paths.
std::string utf16ToUtf8(std::u16string_view utf16);

// The bytes as they stand where they are valid UTF-8; every byte of an
// invalid sequence and every control character is written as \xNN, so that a
// message stays one readable line.
std::string displayName(std::string_view bytes);

}  // namespace onefile
