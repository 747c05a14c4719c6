#include "pe-image/version-resource.h"

#include <algorithm>

#include "host/byte-fields.h"
#include "host/pack-error.h"
#include "host/utf.h"
#include "pe-image/pe-layout.h"
#include "pe-image/resource-directory.h"

namespace onefile {
namespace {

// A node: its length, its value's length, its type; then its key, its value
// and its children, each on a four-byte boundary of the resource.
constexpr uint32_t NODE_HEADER_SIZE = 6;
constexpr uint64_t NODE_ALIGNMENT = 4;
constexpr uint16_t VALUE_BINARY = 0, VALUE_TEXT = 1;
constexpr char16_t ROOT_KEY[] = u"VS_VERSION_INFO", STRING_INFO_KEY[] = u"StringFileInfo";

// The fixed file information, the root's value: thirteen 32-bit fields, the
// file version's high and low halves third and fourth.
constexpr uint32_t FIXED_INFO_SIZE = 52;
constexpr uint32_t FIXED_INFO_SIGNATURE = 0xFEEF04BD;
constexpr uint32_t FILE_VERSION_MS_AT = 8, FILE_VERSION_LS_AT = 12;
constexpr uint32_t FIXED_INFO_VERSION = 0x00010000;
constexpr uint32_t FILE_FLAGS_MASK = 0x3F;
constexpr uint32_t OS_WINDOWS_NT = 0x00040004;
constexpr uint32_t FILE_TYPE_APPLICATION = 1;

constexpr char16_t STRING_TABLE_KEY[] = u"040904B0";  // US English, Unicode
constexpr uint16_t CODE_PAGE_UNICODE = 1200;

void padToNodeBoundary(std::string* out) { out->resize(alignUp(out->size(), NODE_ALIGNMENT), '\0'); }

// One node of the version tree: length, value length, type, key, value, then
// its children, each starting on a four-byte boundary. valueLength counts
// code units for text and bytes otherwise.
std::string node(std::u16string_view key, const std::string& value, uint16_t valueLength, uint16_t type,
                 const std::vector<std::string>& children = {}) {
  std::string out(NODE_HEADER_SIZE, '\0');
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
  out.replace(0, NODE_HEADER_SIZE, header);
  return out;
}

std::string fixedFileInfo(const std::array<uint16_t, 4>& v) {
  std::string out;
  uint32_t high = uint32_t(v[0]) << 16 | v[1], low = uint32_t(v[2]) << 16 | v[3];
  for (uint32_t field : {FIXED_INFO_SIGNATURE, FIXED_INFO_VERSION, high, low, high, low, FILE_FLAGS_MASK, 0u,
                         OS_WINDOWS_NT, FILE_TYPE_APPLICATION, 0u, 0u, 0u})
    appendLittleEndian(&out, field, 4);
  static_assert(FIXED_INFO_SIZE == 13 * 4 && FILE_VERSION_MS_AT == 2 * 4 && FILE_VERSION_LS_AT == 3 * 4,
                "the fields above, in their order");
  return out;
}

std::string stringNode(const std::string& name, const std::string& value) {
  std::optional<std::u16string> wideName = utf8ToUtf16(name), wideValue = utf8ToUtf16(value);
  if (!wideName || !wideValue) throw PackError(displayName(value), "the " + name + " is not UTF-8 text");
  std::string text;
  appendZeroTerminatedUtf16(&text, *wideValue);
  return node(*wideName, text, static_cast<uint16_t>(wideValue->size() + 1), VALUE_TEXT);
}

[[noreturn]] void damaged(const char* what) {
  throw ResourceFault(std::string("its version resource is damaged (") + what + ")");
}

// One node, its offsets relative to the resource's start (on which its four-byte boundaries are counted).
struct Node {
  std::u16string key;
  uint64_t valueLength = 0;            // as the node gives it
  uint64_t value = 0, valueBytes = 0;  // valueBytes as far as the node reaches
  uint64_t children = 0, end = 0;
};

// A string's value: text up to its first zero unit, however its value
// length counts (units or bytes, with the zero or without), within its node.
std::u16string stringValue(ByteView resource, const Node& node) {
  std::u16string text;
  uint64_t units = std::min(node.valueLength, (node.end - node.value) / 2);
  for (uint64_t i = 0; i < units; ++i) {
    char16_t unit = static_cast<char16_t>(*resource.field(node.value + 2 * i, 2));
    if (unit == 0) break;
    text += unit;
  }
  return text;
}

Node readNode(ByteView resource, uint64_t at, uint64_t limit) {
  if (limit - at < NODE_HEADER_SIZE) damaged("a node is cut short");
  uint64_t length = *resource.field(at, 2), valueLength = *resource.field(at + 2, 2);
  uint64_t type = *resource.field(at + 4, 2);
  if (length < NODE_HEADER_SIZE) damaged("a node is shorter than its header");
  if (length > limit - at) damaged("a node runs past its end");
  Node node;
  node.valueLength = valueLength;
  node.end = at + length;
  uint64_t key = at + NODE_HEADER_SIZE;
  for (;; key += 2) {
    if (node.end - key < 2) damaged("a key runs past its node");
    char16_t unit = static_cast<char16_t>(*resource.field(key, 2));
    if (unit == 0) break;
    node.key += unit;
  }
  node.value = std::min(alignUp(key + 2, NODE_ALIGNMENT), node.end);
  // Text values count code units; some writers count bytes, so a value is
  // taken only as far as its node reaches.
  node.valueBytes = std::min(type == VALUE_TEXT ? 2 * valueLength : valueLength, node.end - node.value);
  node.children = std::min(alignUp(node.value + node.valueBytes, NODE_ALIGNMENT), node.end);
  return node;
}

// The children of a node, each starting on a four-byte boundary; padding at the end is not a child.
std::vector<Node> childrenOf(ByteView resource, const Node& parent) {
  std::vector<Node> children;
  for (uint64_t at = parent.children; parent.end - at >= NODE_HEADER_SIZE;) {
    children.push_back(readNode(resource, at, parent.end));
    at = std::min(alignUp(children.back().end, NODE_ALIGNMENT), parent.end);
  }
  return children;
}

void readFixedInfo(ByteView resource, const Node& root, VersionFound* found) {
  if (root.valueBytes == 0) return;
  if (root.valueBytes < FIXED_INFO_SIZE) {
    found->fixedInfoFault = "its fixed file information is cut short";
    return;
  }
  if (*resource.field(root.value, 4) != FIXED_INFO_SIGNATURE) {
    found->fixedInfoFault = "its fixed file information has a wrong signature";
    return;
  }
  uint64_t high = *resource.field(root.value + FILE_VERSION_MS_AT, 4),
           low = *resource.field(root.value + FILE_VERSION_LS_AT, 4);
  found->fileVersion =
      std::array<uint16_t, 4>{uint16_t(high >> 16), uint16_t(high), uint16_t(low >> 16), uint16_t(low)};
}

}  // namespace

std::string buildVersionResource(const VersionInfo& info) {
  std::vector<std::string> strings;
  for (const auto& [name, value] : info.strings)
    if (!value.empty()) strings.push_back(stringNode(name, value));
  std::string table = node(STRING_TABLE_KEY, "", 0, VALUE_TEXT, strings);
  std::string stringInfo = node(STRING_INFO_KEY, "", 0, VALUE_TEXT, {table});
  std::string translation;
  appendLittleEndian(&translation, LANGUAGE_ENGLISH_US, 2);
  appendLittleEndian(&translation, CODE_PAGE_UNICODE, 2);
  std::string variable = node(u"Translation", translation, static_cast<uint16_t>(translation.size()), VALUE_BINARY);
  std::string variableInfo = node(u"VarFileInfo", "", 0, VALUE_TEXT, {variable});
  std::string fixed = fixedFileInfo(info.numbers);
  return node(ROOT_KEY, fixed, static_cast<uint16_t>(fixed.size()), VALUE_BINARY, {stringInfo, variableInfo});
}

std::optional<std::string> versionTextProblem(std::u16string_view text) {
  for (char16_t c : text)
    if (c < 0x20) return "holds a control character";
  if (text.size() > VERSION_TEXT_MAX_UNITS)
    return "is " + std::to_string(text.size()) + " characters long; at most " + std::to_string(VERSION_TEXT_MAX_UNITS) +
           " are taken";
  return std::nullopt;
}

VersionFound readVersionResource(ByteView resource) {
  VersionFound found;
  Node root = readNode(resource, 0, resource.size());
  if (root.key != ROOT_KEY) damaged("its root is not VS_VERSION_INFO");
  readFixedInfo(resource, root, &found);
  for (const Node& child : childrenOf(resource, root)) {
    if (child.key != STRING_INFO_KEY) continue;
    std::vector<Node> tables = childrenOf(resource, child);
    if (tables.empty()) break;
    for (const Node& string : childrenOf(resource, tables[0]))
      found.strings.emplace_back(utf16ToUtf8(string.key), utf16ToUtf8(stringValue(resource, string)));
    break;
  }
  return found;
}

}  // namespace onefile
