#include "payload-io/payload-names.h"

#include <vector>

#include "host/counted-text.h"
#include "host/pack-error.h"
#include "payload-io/windows-names.h"
#include "host/utf.h"

namespace onefile {
namespace {

bool isTopLevelExe(std::u16string_view name) {
  return name.find(u'\\') == std::u16string_view::npos && hasExeExtension(name);
}

std::vector<RecordEntry> readRecords(const PayloadFile& payload, const std::string& shown) {
  std::vector<RecordEntry> records;
  std::unique_ptr<DecodedStream> stream = payload.openStream();
  RecordReader reader(*stream);
  try {
    while (std::optional<RecordEntry> record = reader.next()) {
      reader.readContent(record->size, [](const unsigned char*, size_t) {});
      records.push_back(*record);
    }
    // The frame's checksum covers every record: a payload is sound only once
    // it has been checked, before anything is built or extracted from it.
    stream->finishFrame();
  } catch (const PayloadDamage& damage) {
    throw PackError(shown, "damaged payload after " + countedText(records.size(), "record") + ": " + damage.what());
  }
  return records;
}

}  // namespace

std::vector<RecordEntry> checkPayloadNames(const PayloadFile& payload, const std::string& shown) {
  std::vector<RecordEntry> records = readRecords(payload, shown);
  std::vector<std::u16string> names;
  for (const RecordEntry& record : records) names.push_back(record.name);
  if (names.empty()) throw PackError(shown, "the payload holds no file to start");
  if (!isTopLevelExe(names.front()))
    throw PackError(shown, "its first file, " + displayName(utf16ToUtf8(names.front())) +
                               ", is not an .exe at the top level: the bootstrap starts the first file");
  for (const std::u16string& name : names)
    if (std::optional<std::string> problem = recordNameProblem(name))
      throw PackError(shown, "the file " + displayName(utf16ToUtf8(name)) + " cannot be unpacked safely: " + *problem);
  if (std::optional<NameCollision> collision = findCaseCollision(names))
    throw PackError(shown, "the file " + displayName(utf16ToUtf8(names[collision->index])) +
                               (collision->isFolder ? " has the name of the folder " : " differs only in case from ") +
                               displayName(utf16ToUtf8(collision->other)) + "; on Windows they would collide");
  return records;
}

std::filesystem::path hostPathOf(const std::filesystem::path& folder, std::u16string_view recordName) {
  std::string relative = utf16ToUtf8(recordName);
  for (char& c : relative)
    if (c == '\\') c = '/';
  return folder / std::filesystem::u8path(relative);
}

}  // namespace onefile
