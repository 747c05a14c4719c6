// The resources every built executable carries: the application manifest,
// the version resource and the icon group.
#pragma once
#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "pe-image/execution-level.h"
#include "pe-image/icon-group.h"
#include "pe-image/resource-directory.h"

namespace onefile {

struct ApplicationIdentity {
  std::string name;  // the application's name: internal and original file name
  std::array<uint16_t, 4> version{};
  std::string company, description, product, copyright;  // empty ones are left out
  std::string versionText;  // the product version's text; empty: the numbers
};

// The default icon drawn for the project, checked like any other.
std::vector<IconImage> defaultIcon();

// The manifest asks Windows for the execution level given.
std::vector<Resource> applicationResources(const ApplicationIdentity& identity, const std::vector<IconImage>& icon,
                                           ExecutionLevel level = ExecutionLevel::asInvoker);

}  // namespace onefile
