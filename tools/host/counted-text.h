// A count and what it counts, for messages: "0 records", "1 record",
// "2 records"; and a size as people read one: "512 bytes", "1.5 MiB".
#pragma once
#include <cstdint>
#include <cstdio>
#include <string>

namespace onefile {

// noun is the singular of a word whose plural only adds "s".
inline std::string countedText(uint64_t count, const std::string& noun) {
  return std::to_string(count) + " " + noun + (count == 1 ? "" : "s");
}

// Bytes below 1 KiB as they are, larger sizes in the largest binary unit
// that leaves at least 1, with one decimal.
inline std::string sizeText(uint64_t bytes) {
  constexpr const char* UNITS[] = {"KiB", "MiB", "GiB", "TiB"};
  if (bytes < 1024) return countedText(bytes, "byte");
  double size = static_cast<double>(bytes) / 1024;
  size_t unit = 0;
  while (size >= 1024 && unit + 1 < sizeof UNITS / sizeof UNITS[0]) {
    size /= 1024;
    ++unit;
  }
  char text[32];
  std::snprintf(text, sizeof text, "%.1f %s", size, UNITS[unit]);
  return text;
}

}  // namespace onefile
