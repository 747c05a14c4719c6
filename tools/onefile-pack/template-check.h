// The checks of what a build compiles into the bootstrap: the path template
// and the version text, so that a mistake shows when packing, not on the
// user's machine.
#pragma once
#include <array>
#include <cstdint>
#include <optional>
#include <string>

namespace onefile {

// Why the template would fail to expand, naming the placeholder or brace at
// fault; nullopt when every placeholder is known and the braces balance.
std::optional<std::string> templateProblem(std::u16string_view pathTemplate);

// "1", "1.7", "1.7.0" or "1.7.0.2": up to four numbers of 0 to 65535,
// filled up with zeros to four. nullopt for anything else.
std::optional<std::array<uint16_t, 4>> parseVersionNumbers(const std::string& text);

}  // namespace onefile
