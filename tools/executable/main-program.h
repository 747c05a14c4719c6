// The program a build starts, and what the executable takes over from it
// where no option says otherwise: its subsystem, its name, its version, its
// icon, the texts of its version resource and its execution level.
#pragma once
#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "pe-image/execution-level.h"
#include "pe-image/icon-group.h"

namespace onefile {

struct MainProgram {
  std::string shownName;  // as messages name it
  std::string fileName;   // its own file name, e.g. "7za.exe"
  std::string bytes;
};

// The application folder's main program; nullopt when it is not a readable
// file (the folder's scan then says what is wrong with it).
std::optional<MainProgram> mainProgramInFolder(const std::filesystem::path& root, const std::string& relative);

// A checked payload's first record, the file the bootstrap starts.
MainProgram mainProgramInPayload(const std::filesystem::path& payload, const std::string& shown);

struct ProgramDefaults {
  std::string source;  // the main program's file name; empty when none was read
  uint16_t subsystem = 0;
  std::string name, version;  // empty: the program gives none
  std::vector<IconImage> icon;
  std::string company, description, product, copyright;
  std::optional<ExecutionLevel> executionLevel;  // none: its manifest asks for none
};

// Reads what the program carries. Throws PackError when it is not a program
// Windows could start (not an x86-64 PE image, or neither a console nor a
// GUI program). Each malformed part it ignored is a warning on standard error.
ProgramDefaults programDefaults(const MainProgram& program);

}  // namespace onefile
