#include "host/text-output.h"

#include <cstdarg>
#include <string>

namespace onefile {
namespace {

std::string formatted(const char* format, va_list arguments) {
  va_list measuring;
  va_copy(measuring, arguments);
  int size = std::vsnprintf(nullptr, 0, format, measuring);
  va_end(measuring);
  if (size <= 0) return {};
  std::string text(static_cast<size_t>(size) + 1, '\0');
  std::vsnprintf(text.data(), text.size(), format, arguments);
  text.resize(static_cast<size_t>(size));
  return text;
}

}  // namespace

void printText(std::FILE* stream, const char* format, ...) {
  va_list arguments;
  va_start(arguments, format);
  std::string text = formatted(format, arguments);
  va_end(arguments);
  writeText(stream, text);
}

}  // namespace onefile
