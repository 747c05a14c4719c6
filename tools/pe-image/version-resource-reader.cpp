#include "pe-image/version-resource-reader.h"

#include <algorithm>

#include "pe-image/image-resources.h"
#include "pe-image/pe-layout.h"
#include "host/utf.h"

namespace onefile {
namespace {

constexpr uint32_t NODE_HEADER_SIZE = 6;  // wLength, wValueLength, wType
constexpr uint64_t NODE_ALIGNMENT = 4;
constexpr uint16_t VALUE_TEXT = 1;
constexpr uint32_t FIXED_INFO_SIZE = 52;
constexpr uint32_t FIXED_INFO_SIGNATURE = 0xFEEF04BD;
constexpr uint32_t FILE_VERSION_MS_AT = 8, FILE_VERSION_LS_AT = 12;

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

VersionFound readVersionResource(ByteView resource) {
  VersionFound found;
  Node root = readNode(resource, 0, resource.size());
  if (root.key != u"VS_VERSION_INFO") damaged("its root is not VS_VERSION_INFO");
  readFixedInfo(resource, root, &found);
  for (const Node& child : childrenOf(resource, root)) {
    if (child.key != u"StringFileInfo") continue;
    std::vector<Node> tables = childrenOf(resource, child);
    if (tables.empty()) break;
    for (const Node& string : childrenOf(resource, tables[0]))
      found.strings.emplace_back(utf16ToUtf8(string.key), utf16ToUtf8(stringValue(resource, string)));
    break;
  }
  return found;
}

}  // namespace onefile
