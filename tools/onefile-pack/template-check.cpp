#include "onefile-pack/template-check.h"

#include "diag/limits.h"
#include "paths/placeholder-names.h"
#include "host/utf.h"

namespace onefile {
namespace {

constexpr unsigned VERSION_PARTS = 4;
constexpr unsigned long VERSION_PART_MAX = 65535;

std::string quoted(std::u16string_view text) { return "'" + displayName(utf16ToUtf8(text)) + "'"; }

}  // namespace

std::optional<std::string> templateProblem(std::u16string_view text) {
  if (text.empty()) return "the path template is empty";
  if (text.size() >= PATH_CAPACITY)
    return "the path template is " + std::to_string(text.size()) + " UTF-16 code units long; its expansion holds at most " +
           std::to_string(PATH_CAPACITY - 1);
  size_t open = std::u16string_view::npos;
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] == u'{') {
      if (open != std::u16string_view::npos)
        return "unbalanced braces: the placeholder " + quoted(text.substr(open, i - open)) + " is not closed before the next '{'";
      open = i;
    } else if (text[i] == u'}') {
      if (open == std::u16string_view::npos)
        return "unbalanced braces: the '}' after " + quoted(text.substr(0, i)) + " closes no placeholder";
      std::u16string_view name = text.substr(open + 1, i - open - 1);
      if (name.empty()) return "an empty placeholder '{}'";
      if (findPlaceholderId(name.data(), name.size()) == PLACEHOLDER_COUNT) return "unknown placeholder " + quoted(text.substr(open, i - open + 1));
      open = std::u16string_view::npos;
    }
  }
  if (open != std::u16string_view::npos)
    return "unbalanced braces: the placeholder " + quoted(text.substr(open)) + " is not closed";
  return std::nullopt;
}

std::optional<std::array<uint16_t, 4>> parseVersionNumbers(const std::string& text) {
  std::array<uint16_t, 4> numbers{};
  size_t part = 0, start = 0;
  for (;;) {
    size_t end = std::min(text.find('.', start), text.size());
    if (part == VERSION_PARTS || end == start || end - start > 5) return std::nullopt;
    unsigned long value = 0;
    for (size_t i = start; i < end; ++i) {
      if (text[i] < '0' || text[i] > '9') return std::nullopt;
      value = value * 10 + static_cast<unsigned long>(text[i] - '0');
    }
    if (value > VERSION_PART_MAX) return std::nullopt;
    numbers[part++] = static_cast<uint16_t>(value);
    if (end == text.size()) return numbers;
    start = end + 1;
  }
}

}  // namespace onefile
