// Random application folders for the round-trip property: many sizes (empty
// to several MB), deep trees and names in many scripts, all from one seed.
#pragma once
#include <cstdint>
#include <filesystem>

namespace mutations {

// Fills out (which must not exist) and copies mainExe in as app.exe.
void writeRandomFolder(const std::filesystem::path& out, const std::filesystem::path& mainExe, uint32_t seed);

}  // namespace mutations
