// A Windows icon file (.ico): its images become the executable's icon
// resources, one per image, and one icon group that lists them.
#pragma once
#include <string>
#include <vector>

#include "pe-image/resource-section.h"

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

}  // namespace onefile
