// A count and what it counts, for messages: "0 records", "1 record",
// "2 records".
#pragma once
#include <cstdint>
#include <string>

namespace onefile {

// noun is the singular of a word whose plural only adds "s".
inline std::string countedText(uint64_t count, const std::string& noun) {
  return std::to_string(count) + " " + noun + (count == 1 ? "" : "s");
}

}  // namespace onefile
