// Text for the user. Inside the tool text is UTF-8; on Windows a console is
// given it as UTF-16 (WriteConsoleW), which shows every character whatever
// the console's code page, while files and pipes get the UTF-8 bytes.
#pragma once
#include <cstdio>
#include <string_view>

#ifdef _WIN32
#define ONEFILE_PRINTF_FORMAT __attribute__((format(gnu_printf, 2, 3)))
#else
#define ONEFILE_PRINTF_FORMAT __attribute__((format(printf, 2, 3)))
#endif

namespace onefile {

void writeText(std::FILE* stream, std::string_view utf8);
void printText(std::FILE* stream, const char* format, ...) ONEFILE_PRINTF_FORMAT;

}  // namespace onefile
