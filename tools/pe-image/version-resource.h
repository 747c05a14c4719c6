// The version resource: a tree of nodes (length, value length, type, key,
// value, children, each on a four-byte boundary) holding the fixed file
// information (file and product version as four numbers) and the strings that
// Windows shows in a file's properties. Written in US English with Unicode
// text for the executables the tool makes, and read from another program.
#pragma once
#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "host/byte-view.h"

namespace onefile {

// The longest text a version resource string is given, in UTF-16 units: the
// options and the texts taken from a main program alike.
inline constexpr size_t VERSION_TEXT_MAX_UNITS = 1024;

// Why a text cannot be a version resource string, or nullopt when it can: it
// is one line of at most VERSION_TEXT_MAX_UNITS units. Worded to follow the
// text's subject ("--company holds ...", "it holds ..."): an option with such
// a text is refused, a text carried by the main program is left out.
std::optional<std::string> versionTextProblem(std::u16string_view text);

struct VersionInfo {
  std::array<uint16_t, 4> numbers{};  // 1.7.0 is {1, 7, 0, 0}
  // Name and value of each string, in the order given; empty values are left out.
  std::vector<std::pair<std::string, std::string>> strings;
};

// The resource's bytes. Throws PackError when a string is not UTF-8.
std::string buildVersionResource(const VersionInfo& info);

struct VersionFound {
  std::optional<std::array<uint16_t, 4>> fileVersion;  // none without fixed information or with a wrong signature
  std::string fixedInfoFault;                          // why fixed information present was not taken
  // Keys and values (UTF-8, up to their first zero unit) of the first string table, in its order.
  std::vector<std::pair<std::string, std::string>> strings;
};

// Throws ResourceFault when the tree is damaged: a node shorter than its
// header or longer than its parent, a key without its end, a wrong root key.
VersionFound readVersionResource(ByteView resource);

}  // namespace onefile
