// The checks of what a build compiles into the bootstrap: the path template
// and the version text, so that a mistake shows when packing, not on the
// user's machine.
#pragma once
#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace onefile {

// Why the template would fail to expand, naming the placeholder or brace at
// fault; nullopt when every placeholder is known and the braces balance.
std::optional<std::string> templateProblem(std::u16string_view pathTemplate);

// Whether the template's folder changes with the version: {VERSION},
// {FILE_VERSION} or {PRODUCT_VERSION} in it.
bool templateNamesVersion(std::u16string_view pathTemplate);

// What a version that parseVersionNumbers refuses is not (to follow the text).
inline constexpr char VERSION_FORM[] =
    "is not up to four dot-separated numbers from 0 to 65535, then optionally -PRERELEASE and +BUILD as SemVer "
    "writes them (2.1.0-beta.3)";

// "1", "1.7", "1.7.0" or "1.7.0.2": up to four numbers of 0 to 65535,
// filled up with zeros to four, with any prerelease and build part after
// them ("2.1.0-beta.3+7"). nullopt for anything else.
std::optional<std::array<uint16_t, 4>> parseVersionNumbers(const std::string& text);

// Why a version cannot name a cache folder beside the others, or nullopt: a
// prerelease too long for the bootstrap to compare, or the mark that a
// folder is being removed.
std::optional<std::string> versionFolderProblem(const std::string& text);

// Whether the version has more than numbers: then its text, whole, is the
// product version's.
bool hasPrereleaseOrBuild(const std::string& text);

}  // namespace onefile
