// The resources every built executable carries: the application manifest,
// the version resource and the icon group.
#pragma once
#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "pe-image/icon-group.h"
#include "pe-image/resource-directory.h"

namespace onefile {

struct ApplicationIdentity {
  std::string name;  // the application's name: internal and original file name
  std::array<uint16_t, 4> version{};
  std::string company, description, product, copyright;  // empty ones are left out
};

// The default icon drawn for the project, checked like any other.
std::vector<IconImage> defaultIcon();

std::vector<Resource> applicationResources(const ApplicationIdentity& identity, const std::vector<IconImage>& icon);

}  // namespace onefile
