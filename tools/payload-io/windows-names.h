// What a record name must be for the bootstrap to unpack it on Windows.
#pragma once
#include <optional>
#include <string>
#include <string_view>
#include <type_traits>
#include <vector>

namespace onefile {

// True when the name ends in ".exe", in any case, after at least one other
// unit: the bootstrap starts the first file, so that file must be a program.
// Both the narrow name given on the command line and record names ask this.
template <typename Unit>
bool hasExeExtension(std::basic_string_view<Unit> name) {
  constexpr char EXTENSION[] = ".exe";
  constexpr size_t LENGTH = sizeof EXTENSION - 1;
  if (name.size() <= LENGTH) return false;
  for (size_t i = 0; i < LENGTH; ++i) {
    auto unit = static_cast<std::make_unsigned_t<Unit>>(name[name.size() - LENGTH + i]);
    if (unit >= 'A' && unit <= 'Z') unit = static_cast<decltype(unit)>(unit + ('a' - 'A'));
    if (unit != static_cast<unsigned char>(EXTENSION[i])) return false;
  }
  return true;
}

// Why one path component cannot be a Windows file name, or nullopt when it can.
std::optional<std::string> componentProblem(std::u16string_view component);

// True for the device names Windows reserves in every folder (CON, NUL,
// COM1, ...), with or without an extension and in any case.
bool isReservedDeviceName(std::u16string_view component);

// Why a whole record name (components separated by backslashes) cannot be
// unpacked safely below the target folder, or nullopt when it can: a leading
// separator, a drive letter, "." or ".." segments, empty components, a
// component Windows refuses, or more code units than the bootstrap reads.
std::optional<std::string> recordNameProblem(std::u16string_view name);

// Two names that would land on the same file or folder on Windows' case-
// insensitive file systems: names[index] and other, which is an earlier name
// or, when isFolder, the folder part of another name.
struct NameCollision {
  size_t index = 0;
  std::u16string other;
  bool isFolder = false;
};
std::optional<NameCollision> findCaseCollision(const std::vector<std::u16string>& names);

// A key under which two names are equal exactly when Windows' case-insensitive
// file systems take them for the same file.
std::u16string caseFoldKey(std::u16string_view name);

}  // namespace onefile
