// What a packed executable takes over from its main program: subsystem,
// file version, version strings, icon and the execution level its manifest
// asks for. The main program is input the user
// did not write, so its headers and resources are read defensively: every
// read is bounded, and anything malformed beyond the headers adds a warning
// and leaves that item at its default.
#pragma once
#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "pe-image/execution-level.h"
#include "pe-image/icon-group.h"

namespace onefile {

// What a packed executable takes over from its main program.
struct ProgramTraits {
  uint16_t subsystem = 0;  // the optional header's Subsystem: 2 GUI, 3 console, others as found
  std::optional<std::array<uint16_t, 4>> fileVersion;  // VS_FIXEDFILEINFO dwFileVersionMS/LS; none without a usable one
  std::string company, description, product, copyright;  // UTF-8; empty when absent or unusable
  std::vector<IconImage> icon;  // the first icon group's images in the group's order, data byte for byte,
                                // each directoryEntry a 16-byte .ico entry, so that iconResources()
                                // writes the same group back; empty when there is no usable group
  std::optional<ExecutionLevel> executionLevel;  // what its manifest asks for; none without a usable one
  std::vector<std::string> warnings;  // one line each (no prefix, no newline): what was malformed and ignored
};

// Throws PackError(shownName, reason) when the bytes are not an x86-64 PE image (no MZ/PE header,
// machine not 0x8664, not PE32+), with a reason a user understands in one line (e.g. "not an x86-64
// Windows program (a 32-bit one)"). Everything else that is malformed only adds a warning and leaves
// that item at its default. Texts come whole, however long (a version node
// holds up to 32767 units): capping them is the caller's decision.
ProgramTraits readProgramTraits(const unsigned char* data, size_t size, const std::string& shownName);

// A file version as it is written: "a.b.c", with ".d" when d is not 0.
std::string fileVersionText(const std::array<uint16_t, 4>& version);

}  // namespace onefile
