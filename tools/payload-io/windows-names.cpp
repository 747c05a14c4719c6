#include "payload-io/windows-names.h"

#include <cstdio>
#include <map>

#include "payload/device-names.h"
#include "payload/format.h"
#include "host/case-folding.h"
#include "host/utf.h"

namespace onefile {
namespace {

constexpr std::u16string_view FORBIDDEN_CHARACTERS = u"<>:\"/\\|?*";

std::string describeCharacter(char16_t c) {
  if (c < 0x20) {
    char text[32];
    std::snprintf(text, sizeof text, "control character 0x%02X", static_cast<unsigned>(c));
    return text;
  }
  return "'" + utf16ToUtf8(std::u16string_view(&c, 1)) + "'";
}

}  // namespace

bool isReservedDeviceName(std::u16string_view component) {
  return ::isReservedDeviceName(component.data(), component.size());
}

std::optional<std::string> componentProblem(std::u16string_view component) {
  for (char16_t c : component) {
    if (c < 0x20 || FORBIDDEN_CHARACTERS.find(c) != std::u16string_view::npos)
      return "the name holds " + describeCharacter(c) + ", which Windows does not allow in file names";
  }
  if (component.back() == u'.' || component.back() == u' ')
    return std::string("the name ends in a ") + (component.back() == u'.' ? "dot" : "space") +
           ", which Windows drops, so the file could not be created under this name";
  if (isReservedDeviceName(component))
    return "the name is a device name that Windows reserves (CON, PRN, AUX, NUL, COM1-9, LPT1-9)";
  return std::nullopt;
}

std::u16string caseFoldKey(std::u16string_view name) {
  std::u16string key(name);
  for (char16_t& c : key) {
    if (c >= 0xD800 && c <= 0xDFFF) continue;  // Windows folds no character outside the BMP
    c = upperCase(c);
  }
  return key;
}

std::optional<std::string> recordNameProblem(std::u16string_view name) {
  if (name.empty()) return "the name is empty";
  if (name.size() > RECORD_NAME_MAX_UNITS)
    return "the name is " + std::to_string(name.size()) + " UTF-16 code units long; the bootstrap takes at most " +
           std::to_string(RECORD_NAME_MAX_UNITS);
  if (name.front() == u'\\') return "the name starts with a separator, so it would leave the target folder";
  if (name.size() >= 2 && name[1] == u':') return "the name starts with a drive letter, so it would leave the target folder";
  for (size_t start = 0;;) {
    size_t end = std::min(name.find(u'\\', start), name.size());
    std::u16string_view component = name.substr(start, end - start);
    if (component.empty()) return "the name has an empty component (two separators in a row, or one at its end)";
    if (component == u"." || component == u"..")
      return "the name has a '" + utf16ToUtf8(component) + "' segment, which would lead out of its folder";
    if (std::optional<std::string> problem = componentProblem(component)) return problem;
    if (end == name.size()) return std::nullopt;
    start = end + 1;
  }
}

std::optional<NameCollision> findCaseCollision(const std::vector<std::u16string>& names) {
  std::map<std::u16string, size_t> fileKeys;
  std::map<std::u16string, std::u16string> folderKeys;
  for (const std::u16string& name : names)
    for (size_t cut = name.find(u'\\'); cut != std::u16string::npos; cut = name.find(u'\\', cut + 1))
      folderKeys.emplace(caseFoldKey(name.substr(0, cut)), name.substr(0, cut));
  for (size_t i = 0; i < names.size(); ++i) {
    std::u16string key = caseFoldKey(names[i]);
    auto [it, added] = fileKeys.emplace(key, i);
    if (!added) return NameCollision{i, names[it->second], false};
    auto folder = folderKeys.find(key);
    if (folder != folderKeys.end()) return NameCollision{i, folder->second, true};
  }
  return std::nullopt;
}

}  // namespace onefile
