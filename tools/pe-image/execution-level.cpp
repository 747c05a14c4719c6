#include "pe-image/execution-level.h"

#include <stdexcept>

namespace onefile {
namespace {

constexpr const char* LEVEL_NAMES[] = {"asInvoker", "highestAvailable", "requireAdministrator"};
constexpr std::string_view ELEMENT = "requestedExecutionLevel";
constexpr std::string_view WHITESPACE = " \t\r\n";
// A manifest is a few kilobytes; a larger one is not read.
constexpr size_t MANIFEST_MAX_BYTES = 1 << 20;
// What a fault adds: the level the executable asks for instead.
constexpr const char* TAKEN_INSTEAD = "; the executable asks for asInvoker unless --execution-level says otherwise";

// The manifest as narrow text: UTF-16 (with its byte order mark) keeps its
// ASCII, which is all of the markup read here, and marks every other unit.
std::string narrowText(ByteView manifest) {
  const unsigned char* bytes = manifest.data();
  size_t size = manifest.size();
  bool littleEndian = size >= 2 && bytes[0] == 0xFF && bytes[1] == 0xFE;
  bool bigEndian = size >= 2 && bytes[0] == 0xFE && bytes[1] == 0xFF;
  if (!littleEndian && !bigEndian) return std::string(reinterpret_cast<const char*>(bytes), size);
  std::string text;
  for (size_t at = 2; at + 1 < size; at += 2) {
    unsigned unit = littleEndian ? bytes[at] | bytes[at + 1] << 8 : bytes[at] << 8 | bytes[at + 1];
    text.push_back(unit < 0x80 ? static_cast<char>(unit) : '?');
  }
  return text;
}

// Where the markup that starts at `at` ('<') ends, past its closing text;
// npos when it does not end.
size_t pastSpecialMarkup(const std::string& text, size_t at) {
  auto past = [&](std::string_view end) {
    size_t found = text.find(end, at);
    return found == std::string::npos ? found : found + end.size();
  };
  if (text.compare(at, 4, "<!--") == 0) return past("-->");
  if (text.compare(at, 9, "<![CDATA[") == 0) return past("]]>");
  if (text.compare(at, 2, "<?") == 0) return past("?>");
  if (text.compare(at, 2, "<!") == 0 || text.compare(at, 2, "</") == 0) return past(">");
  return 0;  // an element's start tag
}

// The value of the attribute `wanted` in the tag whose attributes start at
// `at`; nullopt when the tag has none, and fault set when it cannot be read.
std::optional<std::string> attributeValue(const std::string& text, size_t at, std::string_view wanted,
                                          std::string* fault) {
  for (;;) {
    at = text.find_first_not_of(WHITESPACE, at);
    if (at == std::string::npos || text[at] == '/' || text[at] == '>') return std::nullopt;
    size_t nameEnd = text.find_first_of(" \t\r\n=/>", at);
    size_t equals = nameEnd == std::string::npos ? nameEnd : text.find_first_not_of(WHITESPACE, nameEnd);
    size_t quote = equals == std::string::npos || text[equals] != '=' ? std::string::npos
                                                                       : text.find_first_not_of(WHITESPACE, equals + 1);
    if (quote == std::string::npos || (text[quote] != '"' && text[quote] != '\'')) {
      *fault = "its manifest's " + std::string(ELEMENT) + " element cannot be read";
      return std::nullopt;
    }
    size_t close = text.find(text[quote], quote + 1);
    if (close == std::string::npos) {
      *fault = "its manifest's " + std::string(ELEMENT) + " element has a value without its closing quote";
      return std::nullopt;
    }
    if (std::string_view(text).substr(at, nameEnd - at) == wanted) return text.substr(quote + 1, close - quote - 1);
    at = close + 1;
  }
}

// The level asked for in the element's attributes (starting at `at`).
ExecutionLevelFound levelOfElement(const std::string& text, size_t at) {
  ExecutionLevelFound found;
  std::optional<std::string> value = attributeValue(text, at, "level", &found.fault);
  if (!found.fault.empty()) return found;
  if (!value) {
    found.fault = "its manifest's " + std::string(ELEMENT) + " has no level";
    return found;
  }
  found.level = executionLevelNamed(*value);
  // Shown quoted and cut: the text is the program's, not ours.
  constexpr size_t SHOWN_UNITS = 40;
  std::string shown;
  for (char unit : value->substr(0, SHOWN_UNITS))
    shown.push_back(static_cast<unsigned char>(unit) < 0x20 || static_cast<unsigned char>(unit) >= 0x7f ? '?' : unit);
  if (!found.level) found.fault = "its manifest asks for the execution level '" + shown + "', which Windows does not know";
  return found;
}

}  // namespace

const char* executionLevelName(ExecutionLevel level) { return LEVEL_NAMES[static_cast<int>(level)]; }

std::optional<ExecutionLevel> executionLevelNamed(std::string_view name) {
  for (int i = 0; i < 3; ++i)
    if (name == LEVEL_NAMES[i]) return static_cast<ExecutionLevel>(i);
  return std::nullopt;
}

ExecutionLevelFound readExecutionLevel(ByteView manifest) {
  if (manifest.size() > MANIFEST_MAX_BYTES)
    return {std::nullopt, "its manifest of " + std::to_string(manifest.size()) + " bytes is too large to read" +
                              TAKEN_INSTEAD};
  std::string text = narrowText(manifest);
  for (size_t at = text.find('<'); at != std::string::npos; at = text.find('<', at)) {
    size_t past = pastSpecialMarkup(text, at);
    if (past == std::string::npos) break;
    if (past != 0) {
      at = past;
      continue;
    }
    size_t nameStart = at + 1, nameEnd = std::min(text.find_first_of(" \t\r\n/>", nameStart), text.size());
    std::string_view name = std::string_view(text).substr(nameStart, nameEnd - nameStart);
    size_t prefix = name.rfind(':');  // a namespace prefix such as ms_asmv3:
    if ((prefix == std::string_view::npos ? name : name.substr(prefix + 1)) == ELEMENT) {
      ExecutionLevelFound found = levelOfElement(text, nameEnd);
      if (!found.fault.empty()) found.fault += TAKEN_INSTEAD;
      return found;
    }
    at = nameEnd;
  }
  return {};
}

std::string withExecutionLevel(std::string manifest, ExecutionLevel level) {
  const std::string asked = "level=\"" + std::string(LEVEL_NAMES[0]) + "\"";
  size_t at = manifest.find(asked);
  if (at == std::string::npos) throw std::logic_error("the manifest asks for no execution level to set");
  return manifest.replace(at, asked.size(), "level=\"" + std::string(executionLevelName(level)) + "\"");
}

}  // namespace onefile
