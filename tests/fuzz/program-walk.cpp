#include "program-walk.h"

#include <optional>
#include <stdexcept>
#include <string>

#include "host/pack-error.h"
#include "payload/format.h"
#include "pe-image/authenticode.h"
#include "pe-image/execution-level.h"
#include "pe-image/program-traits.h"

namespace fuzz_walk {
namespace {

constexpr size_t ICO_ENTRY_SIZE = 16, ICO_ENTRY_BYTES_AT = 8;

void require(bool holds, const char* what) {
  if (!holds) throw std::logic_error(what);
}

// Whatever signature the image carries, and whether data follows the image,
// are read as build --sign and verify --signatures read them, before the program's traits refuse any other kind.
void walkSignature(const uint8_t* data, size_t size) {
  onefile::ByteView image(data, size);
  std::optional<onefile::ByteView> table = onefile::certificateTable(image);
  require(!table || table->size() == 0 || (table->data() >= data && table->data() + table->size() <= data + size),
          "a certificate table outside the image");
  require(onefile::isPeImage(image) || !onefile::carriesDataAfterImage(image), "data after what is no image");
  if (!table) return;
  if (std::optional<onefile::SignerIdentity> signer = onefile::signerOf(*table))
    require(signer->name.size() <= table->size(), "a signer's name longer than its signature");
}

// The bytes as a manifest too: reaching the manifest reader through a valid
// image and resource directory is rare for mutated bytes.
void walkManifest(const uint8_t* data, size_t size) {
  onefile::ExecutionLevelFound found = onefile::readExecutionLevel(onefile::ByteView(data, size));
  require(found.fault.find('\n') == std::string::npos, "a manifest fault that is not one line");
  require(!found.level || found.fault.empty(), "a level taken from a manifest said to be faulty");
}

}  // namespace

void walkProgram(const uint8_t* data, size_t size) {
  walkSignature(data, size);
  walkManifest(data, size);
  onefile::ProgramTraits traits;
  try {
    traits = onefile::readProgramTraits(data, size, "main.exe");
  } catch (const onefile::PackError& refusal) {
    require(!refusal.reason().empty() && refusal.reason().find('\n') == std::string::npos,
            "a refusal that is not one line");
    return;
  }
  for (const std::string& warning : traits.warnings)
    require(!warning.empty() && warning.find('\n') == std::string::npos, "a warning that is not one line");
  require(traits.icon.size() <= onefile::MAX_ICON_IMAGES, "more icon images than are taken");
  for (const onefile::IconImage& image : traits.icon) {
    require(image.directoryEntry.size() == ICO_ENTRY_SIZE, "an icon entry that is not an .ico entry");
    auto entry = reinterpret_cast<const unsigned char*>(image.directoryEntry.data());
    require(readLittleEndian(entry + ICO_ENTRY_BYTES_AT, 4) == image.data.size(), "an icon entry of another size");
    require(image.width >= 1 && image.width <= 256 && image.height >= 1 && image.height <= 256, "an odd icon size");
  }
}

}  // namespace fuzz_walk
