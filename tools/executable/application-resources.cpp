#include "executable/application-resources.h"

#include "executable/embedded-files.h"
#include "pe-image/version-resource.h"

namespace onefile {
namespace {

constexpr uint16_t MANIFEST_ID = 1;  // the application's own manifest
constexpr uint16_t VERSION_ID = 1;

std::string versionText(const std::array<uint16_t, 4>& numbers) {
  std::string text;
  for (uint16_t number : numbers) text += (text.empty() ? "" : ".") + std::to_string(number);
  return text;
}

}  // namespace

std::vector<IconImage> defaultIcon() {
  return parseIconFile(std::string(embeddedFile(onefileDefaultIcon, onefileDefaultIconEnd)), "the default icon");
}

std::vector<Resource> applicationResources(const ApplicationIdentity& identity, const std::vector<IconImage>& icon,
                                           ExecutionLevel level) {
  VersionInfo version;
  version.numbers = identity.version;
  std::string number = versionText(identity.version);
  version.strings = {
      {"CompanyName", identity.company},
      {"FileDescription", identity.description.empty() ? identity.name : identity.description},
      {"FileVersion", number},
      {"InternalName", identity.name},
      {"LegalCopyright", identity.copyright},
      {"OriginalFilename", identity.name + ".exe"},
      {"ProductName", identity.product.empty() ? identity.name : identity.product},
      {"ProductVersion", identity.versionText.empty() ? number : identity.versionText},
  };
  std::vector<Resource> resources = iconResources(icon);
  resources.push_back(Resource{RESOURCE_VERSION, VERSION_ID, LANGUAGE_ENGLISH_US, buildVersionResource(version)});
  resources.push_back(Resource{RESOURCE_MANIFEST, MANIFEST_ID, LANGUAGE_ENGLISH_US,
                               withExecutionLevel(std::string(embeddedFile(onefileManifest, onefileManifestEnd)), level)});
  return resources;
}

}  // namespace onefile
