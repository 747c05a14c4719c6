#include "pe-image/version-resource.h"

#include "host/byte-fields.h"
#include "host/pack-error.h"
#include "pe-image/pe-layout.h"
#include "pe-image/resource-section.h"
#include "host/utf.h"

namespace onefile {
namespace {

constexpr uint32_t FIXED_INFO_SIGNATURE = 0xFEEF04BD;
constexpr uint32_t FIXED_INFO_VERSION = 0x00010000;
constexpr uint32_t FILE_FLAGS_MASK = 0x3F;
constexpr uint32_t OS_WINDOWS_NT = 0x00040004;
constexpr uint32_t FILE_TYPE_APPLICATION = 1;
constexpr uint16_t VALUE_BINARY = 0, VALUE_TEXT = 1;
constexpr char16_t STRING_TABLE_KEY[] = u"040904B0";  // US English, Unicode
constexpr uint16_t CODE_PAGE_UNICODE = 1200;

constexpr uint64_t NODE_ALIGNMENT = 4;

void padToNodeBoundary(std::string* out) { out->resize(alignUp(out->size(), NODE_ALIGNMENT), '\0'); }

// One node of the version tree: length, value length, type, key, value, then
// its children, each starting on a four-byte boundary. valueLength counts
// code units for text and bytes otherwise.
std::string node(std::u16string_view key, const std::string& value, uint16_t valueLength, uint16_t type,
                 const std::vector<std::string>& children = {}) {
  std::string out(6, '\0');
  appendZeroTerminatedUtf16(&out, key);
  padToNodeBoundary(&out);
  out += value;
  for (const std::string& child : children) {
    padToNodeBoundary(&out);
    out += child;
  }
  std::string header;
  appendLittleEndian(&header, out.size(), 2);
  appendLittleEndian(&header, valueLength, 2);
  appendLittleEndian(&header, type, 2);
  out.replace(0, 6, header);
  return out;
}

std::string fixedFileInfo(const std::array<uint16_t, 4>& v) {
  std::string out;
  uint32_t high = uint32_t(v[0]) << 16 | v[1], low = uint32_t(v[2]) << 16 | v[3];
  for (uint32_t field : {FIXED_INFO_SIGNATURE, FIXED_INFO_VERSION, high, low, high, low, FILE_FLAGS_MASK, 0u,
                         OS_WINDOWS_NT, FILE_TYPE_APPLICATION, 0u, 0u, 0u})
    appendLittleEndian(&out, field, 4);
  return out;
}

std::string stringNode(const std::string& name, const std::string& value) {
  std::optional<std::u16string> wideName = utf8ToUtf16(name), wideValue = utf8ToUtf16(value);
  if (!wideName || !wideValue) throw PackError(displayName(value), "the " + name + " is not UTF-8 text");
  std::string text;
  appendZeroTerminatedUtf16(&text, *wideValue);
  return node(*wideName, text, static_cast<uint16_t>(wideValue->size() + 1), VALUE_TEXT);
}

}  // namespace

std::string buildVersionResource(const VersionInfo& info) {
  std::vector<std::string> strings;
  for (const auto& [name, value] : info.strings)
    if (!value.empty()) strings.push_back(stringNode(name, value));
  std::string table = node(STRING_TABLE_KEY, "", 0, VALUE_TEXT, strings);
  std::string stringInfo = node(u"StringFileInfo", "", 0, VALUE_TEXT, {table});
  std::string translation;
  appendLittleEndian(&translation, LANGUAGE_ENGLISH_US, 2);
  appendLittleEndian(&translation, CODE_PAGE_UNICODE, 2);
  std::string variable = node(u"Translation", translation, static_cast<uint16_t>(translation.size()), VALUE_BINARY);
  std::string variableInfo = node(u"VarFileInfo", "", 0, VALUE_TEXT, {variable});
  std::string fixed = fixedFileInfo(info.numbers);
  return node(u"VS_VERSION_INFO", fixed, static_cast<uint16_t>(fixed.size()), VALUE_BINARY, {stringInfo, variableInfo});
}

std::optional<std::string> versionTextProblem(std::u16string_view text) {
  for (char16_t c : text)
    if (c < 0x20) return "holds a control character";
  if (text.size() > VERSION_TEXT_MAX_UNITS)
    return "is " + std::to_string(text.size()) + " characters long; at most " + std::to_string(VERSION_TEXT_MAX_UNITS) +
           " are taken";
  return std::nullopt;
}

}  // namespace onefile
