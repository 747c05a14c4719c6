// Reads another program's version resource: the VS_VERSIONINFO tree of
// nodes (length, value length, type, key, value, children, each on a
// four-byte boundary), its fixed file information and the strings of its
// first string table.
#pragma once
#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "host/byte-view.h"

namespace onefile {

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
