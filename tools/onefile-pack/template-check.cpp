#include "onefile-pack/template-check.h"

#include "diag/limits.h"
#include "paths/placeholder-names.h"
#include "paths/version-folder.h"
#include "host/utf.h"

namespace onefile {
namespace {

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

bool templateNamesVersion(std::u16string_view pathTemplate) {
  for (size_t open = pathTemplate.find(u'{'); open != std::u16string_view::npos; open = pathTemplate.find(u'{', open + 1)) {
    size_t close = pathTemplate.find(u'}', open);
    if (close == std::u16string_view::npos) return false;
    PlaceholderId id = findPlaceholderId(pathTemplate.data() + open + 1, close - open - 1);
    if (id == PLACEHOLDER_VERSION || id == PLACEHOLDER_FILE_VERSION || id == PLACEHOLDER_PRODUCT_VERSION) return true;
  }
  return false;
}

std::optional<std::string> versionFolderProblem(const std::string& text) {
  size_t dash = text.find('-'), plus = std::min(text.find('+'), text.size());
  if (dash != std::string::npos && dash < plus && plus - dash - 1 > VERSION_PRERELEASE_UNITS)
    return "has a prerelease of " + std::to_string(plus - dash - 1) + " characters; at most " +
           std::to_string(VERSION_PRERELEASE_UNITS) + " are taken";
  std::string mark(REMOVAL_MARK, REMOVAL_MARK + sizeof REMOVAL_MARK / sizeof REMOVAL_MARK[0] - 1);
  if (text.find(mark) != std::string::npos)
    return "holds '" + mark + "', which marks the folder of a version being removed";
  return std::nullopt;
}

bool hasPrereleaseOrBuild(const std::string& text) { return text.find_first_of("-+") != std::string::npos; }

std::optional<std::array<uint16_t, 4>> parseVersionNumbers(const std::string& text) {
  VersionNumbers version;
  if (!parseVersionText(text.data(), text.size(), &version)) return std::nullopt;
  return std::array<uint16_t, 4>{version.part[0], version.part[1], version.part[2], version.part[3]};
}

}  // namespace onefile
