// The system's English text for a Windows error code, for one-line messages.
#pragma once
#include <cstdint>
#include <string>

namespace onefile {

std::string windowsErrorText(uint32_t code);

}  // namespace onefile
