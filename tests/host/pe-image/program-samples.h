// Programs for the reader of a main program's traits: real ones this project
// did not write, and one the project's own writer makes, with the places in
// it that the damaged copies change.
#pragma once
#include <cstdint>
#include <filesystem>
#include <string>

#include "pe-image/program-traits.h"

namespace program_samples {

namespace fs = std::filesystem;

fs::path sevenZip();                     // 7-Zip's console program, fetched by scripts/setup.sh
fs::path wineProgram(const char* name);  // one of Debian's Wine programs
fs::path bootstrapStub();                // the stub the Windows build makes

// The identity that written() carries, with the project's default icon.
extern const char* const WRITTEN_COMPANY;
extern const char* const WRITTEN_DESCRIPTION;
extern const char* const WRITTEN_PRODUCT;
extern const char* const WRITTEN_COPYRIGHT;
extern const std::array<uint16_t, 4> WRITTEN_VERSION;

// An executable written by the project's own writer (stub, resources, an empty payload).
std::string written();

onefile::ProgramTraits traitsOf(const std::string& bytes);

uint64_t field(const std::string& bytes, size_t offset, unsigned width);
void putField(std::string* bytes, size_t offset, uint64_t value, unsigned width);

// Where things lie in a PE file: its COFF header, and the file offset of the
// resource directory (the resource section's start).
size_t coffHeader(const std::string& bytes);
size_t resourceDirectory(const std::string& bytes);
// The file offset of the first occurrence of the bytes; fails the test when there is none.
size_t offsetOf(const std::string& bytes, const std::string& wanted);
std::string utf16(const std::string& ascii);

}  // namespace program_samples
