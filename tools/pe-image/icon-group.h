// Icons, in the two forms that list their images alike: an icon file (.ico),
// whose images become the executable's icon resources, one per image, with
// one icon group that lists them; and the icon group of another program's
// image, read back into the images of an icon file.
#pragma once
#include <string>
#include <vector>

#include "host/byte-view.h"
#include "pe-image/resource-directory.h"

namespace onefile {

// The most images an icon is taken with, from a file or from another program.
inline constexpr size_t MAX_ICON_IMAGES = 64;

struct IconImage {
  unsigned width = 0;   // in pixels; 256 is stored as 0
  unsigned height = 0;
  std::string directoryEntry;  // the file's 16-byte entry, as given
  std::string data;            // a PNG or a device-independent bitmap
};

// Reads and checks an icon file's bytes: the header, every directory entry,
// and that each image is a PNG or a bitmap of the size its entry names.
// Throws PackError naming shownName and what is wrong.
std::vector<IconImage> parseIconFile(const std::string& bytes, const std::string& shownName);

// One icon resource per image (ids 1, 2, ...) and the group (id 1).
std::vector<Resource> iconResources(const std::vector<IconImage>& images);

// The images of an image's icon group, in the group's order, data byte for
// byte, each directoryEntry that of an icon file holding the images one after
// the other, so that iconResources() writes the same group back. Throws
// ResourceFault when the group is damaged or names an icon the image lacks.
std::vector<IconImage> readIconGroup(const ImageResources& resources, ByteView group);

}  // namespace onefile
