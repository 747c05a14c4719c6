// What a record name must be for the bootstrap to unpack it on Windows.
#pragma once
#include <optional>
#include <string>
#include <string_view>

namespace onefile {

// Why one path component cannot be a Windows file name, or nullopt when it can.
std::optional<std::string> componentProblem(std::u16string_view component);

// True for the device names Windows reserves in every folder (CON, NUL,
// COM1, ...), with or without an extension and in any case.
bool isReservedDeviceName(std::u16string_view component);

// A key under which two names are equal exactly when Windows' case-insensitive
// file systems take them for the same file.
std::u16string caseFoldKey(std::u16string_view name);

}  // namespace onefile
