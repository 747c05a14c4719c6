#include "pe-image/icon-group.h"

#include <cstring>

#include "host/byte-fields.h"
#include "host/pack-error.h"

namespace onefile {
namespace {

// An icon file and an icon group start alike: 0, the type (1 for icons) and
// the count of images, each a 16-bit field.
constexpr size_t HEADER_SIZE = 6;
constexpr uint16_t TYPE_ICON = 1;
// Their entries share their first bytes (width, height, colours, reserved,
// planes, bits per pixel) and the image's size after them; then a file's
// entry gives the image's offset in the file, a group's its resource number.
constexpr size_t SHARED_ENTRY_BYTES = 8;
constexpr size_t FILE_ENTRY_SIZE = 16, GROUP_ENTRY_SIZE = 14;
constexpr size_t ENTRY_IMAGE_SIZE_AT = 8, FILE_ENTRY_OFFSET_AT = 12, GROUP_ENTRY_ID_AT = 12;
constexpr unsigned char PNG_SIGNATURE[8] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
constexpr size_t PNG_WIDTH_AT = 16, PNG_HEIGHT_AT = 20;  // in the IHDR chunk
constexpr uint32_t BITMAP_HEADER_SIZE = 40;

uint32_t bigEndian32(const std::string& bytes, size_t offset) {
  uint32_t value = 0;
  for (size_t i = 0; i < 4; ++i) value = value << 8 | static_cast<unsigned char>(bytes[offset + i]);
  return value;
}

// A width or height as an entry stores it: 256 as 0.
unsigned side(unsigned char stored) { return stored == 0 ? 256 : stored; }

// The image's own idea of its size must be the entry's.
void checkImage(const IconImage& image, size_t index, const std::string& shown) {
  std::string where = "image " + std::to_string(index + 1) + " ";
  const std::string& data = image.data;
  if (data.size() >= sizeof PNG_SIGNATURE && std::memcmp(data.data(), PNG_SIGNATURE, sizeof PNG_SIGNATURE) == 0) {
    if (data.size() < PNG_HEIGHT_AT + 4 || data.compare(12, 4, "IHDR") != 0)
      throw PackError(shown, where + "is a PNG without its header chunk");
    if (bigEndian32(data, PNG_WIDTH_AT) != image.width || bigEndian32(data, PNG_HEIGHT_AT) != image.height)
      throw PackError(shown, where + "is a PNG of another size than its directory entry says");
    return;
  }
  if (data.size() < BITMAP_HEADER_SIZE || littleEndianAt(data, 0, 4) != BITMAP_HEADER_SIZE)
    throw PackError(shown, where + "is neither a PNG nor a bitmap");
  // A bitmap's height counts the colour image and the mask.
  if (littleEndianAt(data, 4, 4) != image.width || littleEndianAt(data, 8, 4) != 2 * image.height)
    throw PackError(shown, where + "is a bitmap of another size than its directory entry says");
}

// The 16-byte entry of an .ico file that holds the images one after the
// other: the group's entry with the image's size and place in that file in
// place of its resource number.
std::string fileEntry(ByteView groupEntry, size_t imageSize, uint64_t offset) {
  std::string entry(reinterpret_cast<const char*>(groupEntry.data()), SHARED_ENTRY_BYTES);
  appendLittleEndian(&entry, imageSize, 4);
  appendLittleEndian(&entry, offset, 4);
  return entry;
}

}  // namespace

std::vector<IconImage> parseIconFile(const std::string& bytes, const std::string& shown) {
  if (bytes.size() < HEADER_SIZE || littleEndianAt(bytes, 0, 2) != 0 ||
      littleEndianAt(bytes, 2, 2) != TYPE_ICON)
    throw PackError(shown, "not an icon file (.ico)");
  size_t count = littleEndianAt(bytes, 4, 2);
  if (count == 0) throw PackError(shown, "the icon file holds no image");
  if (count > MAX_ICON_IMAGES) throw PackError(shown, "the icon file holds " + std::to_string(count) + " images; at most " +
                                                     std::to_string(MAX_ICON_IMAGES) + " are taken");
  if (bytes.size() < HEADER_SIZE + FILE_ENTRY_SIZE * count)
    throw PackError(shown, "the icon file ends inside its directory");
  std::vector<IconImage> images;
  for (size_t i = 0; i < count; ++i) {
    size_t entry = HEADER_SIZE + FILE_ENTRY_SIZE * i;
    IconImage image;
    image.width = side(static_cast<unsigned char>(bytes[entry]));
    image.height = side(static_cast<unsigned char>(bytes[entry + 1]));
    image.directoryEntry = bytes.substr(entry, FILE_ENTRY_SIZE);
    uint64_t size = littleEndianAt(bytes, entry + ENTRY_IMAGE_SIZE_AT, 4),
             offset = littleEndianAt(bytes, entry + FILE_ENTRY_OFFSET_AT, 4);
    if (size == 0 || offset > bytes.size() || size > bytes.size() - offset)
      throw PackError(shown, "image " + std::to_string(i + 1) + " lies outside the icon file");
    image.data = bytes.substr(offset, size);
    checkImage(image, i, shown);
    images.push_back(std::move(image));
  }
  return images;
}

std::vector<Resource> iconResources(const std::vector<IconImage>& images) {
  std::vector<Resource> resources;
  std::string group;
  appendLittleEndian(&group, 0, 2);
  appendLittleEndian(&group, TYPE_ICON, 2);
  appendLittleEndian(&group, images.size(), 2);
  for (size_t i = 0; i < images.size(); ++i) {
    uint16_t id = static_cast<uint16_t>(i + 1);
    resources.push_back(Resource{RESOURCE_ICON, id, LANGUAGE_ENGLISH_US, images[i].data});
    // The group's entry is the file's, with the image's resource id in place
    // of its offset in the file.
    group += images[i].directoryEntry.substr(0, SHARED_ENTRY_BYTES);
    appendLittleEndian(&group, images[i].data.size(), 4);
    appendLittleEndian(&group, id, 2);
  }
  static_assert(GROUP_ENTRY_SIZE == GROUP_ENTRY_ID_AT + 2, "a group entry ends in its 16-bit id");
  resources.push_back(Resource{RESOURCE_GROUP_ICON, 1, LANGUAGE_ENGLISH_US, group});
  return resources;
}

std::vector<IconImage> readIconGroup(const ImageResources& resources, ByteView group) {
  std::optional<uint64_t> type = group.field(2, 2), count = group.field(4, 2);
  if (!count || group.field(0, 2) != 0 || type != TYPE_ICON)
    throw ResourceFault("its icon group has no icon group header");
  if (*count == 0) throw ResourceFault("its icon group holds no image");
  if (*count > MAX_ICON_IMAGES)
    throw ResourceFault("its icon group holds " + std::to_string(*count) + " images; at most " +
                        std::to_string(MAX_ICON_IMAGES) + " are taken");
  if (!group.holds(HEADER_SIZE, GROUP_ENTRY_SIZE * *count))
    throw ResourceFault("its icon group ends inside its entries");
  std::vector<IconImage> images;
  uint64_t offset = HEADER_SIZE + FILE_ENTRY_SIZE * *count;
  for (uint64_t i = 0; i < *count; ++i) {
    ByteView entry = *group.part(HEADER_SIZE + GROUP_ENTRY_SIZE * i, GROUP_ENTRY_SIZE);
    uint16_t id = static_cast<uint16_t>(*entry.field(GROUP_ENTRY_ID_AT, 2));
    std::optional<ByteView> data = resources.byId(RESOURCE_ICON, id);
    if (!data) throw ResourceFault("its icon group names icon " + std::to_string(id) + ", which it does not hold");
    if (data->size() == 0) throw ResourceFault("its icon group names icon " + std::to_string(id) + ", which is empty");
    IconImage image;
    image.width = side(entry.data()[0]);
    image.height = side(entry.data()[1]);
    image.directoryEntry = fileEntry(entry, data->size(), offset);
    image.data.assign(reinterpret_cast<const char*>(data->data()), data->size());
    offset += data->size();
    images.push_back(std::move(image));
  }
  return images;
}

}  // namespace onefile
