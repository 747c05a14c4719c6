// Damage to the records themselves: each damaged stream is compressed again,
// so the frame is sound and only what it carries is wrong.
#include <cstdint>
#include <functional>

#include "payload-io/app-folder.h"
#include "payload-io/checksum.h"
#include "file-bytes.h"
#include "fixtures.h"
#include "mutations.h"
#include "payload/format.h"
#include "payload-io/record-encoding.h"

namespace mutations {
namespace {

constexpr size_t NAME_UNIT_BYTES = 2;
const size_t LONG_NAME_UNITS[] = {RECORD_NAME_MAX_UNITS, RECORD_NAME_MAX_UNITS + 1, RECORD_NAME_MAX_UNITS + 2,
                                  2 * RECORD_NAME_MAX_UNITS, 40000};
const char16_t* const AWKWARD_NAMES[] = {u"a:b", u"x*y", u"what?", u"<>", u"a|b", u"\\leading",
                                         u"trailing\\", u"a\\\\b", u"\u0001", u"CON", u"nul.txt", u" ",
                                         u"\xD800", u"dir\\\xDC00", u"..\\escaped.txt",
                                         u"sub\\..\\..\\escaped.txt", u"C:\\escaped.txt", u"main.exe:stream",
                                         u"sub/../../escaped.txt"};

struct Record {
  std::u16string name;
  uint64_t size;
  uint32_t stored;
  const std::string* content;
  bool terminated = true;
};

std::vector<Record> recordsOf(const AppRecords& app) {
  std::vector<Record> records;
  for (size_t i = 0; i < app.names.size(); ++i) {
    const std::string& content = app.contents[i];
    uint32_t crc = onefile::crc32Update(onefile::CRC32_INITIAL, reinterpret_cast<const unsigned char*>(content.data()), content.size());
    records.push_back({app.names[i], content.size(), recordChecksum(crc), &content});
  }
  return records;
}

std::string encode(const std::vector<Record>& records, bool withEndRecord = true) {
  std::string stream;
  for (const Record& record : records) {
    std::string header = onefile::encodeRecordHeader(record.name, record.size, record.stored);
    if (!record.terminated) header.erase(record.name.size() * NAME_UNIT_BYTES, NAME_UNIT_BYTES);
    stream += header;
    stream += *record.content;
  }
  if (withEndRecord) stream += onefile::encodeEndRecord();
  return stream;
}

Mutation compressed(const std::string& kind, const std::string& description, const std::string& stream) {
  return {kind, description, fixtures::payloadOfFrames(stream, {})};
}

std::string sizeText(uint64_t size) { return std::to_string(size); }

}  // namespace

AppRecords readAppFolder(const std::filesystem::path& folder, const std::string& mainProgram) {
  AppRecords app;
  for (const onefile::FolderFile& file : onefile::scanAppFolder(folder, mainProgram)) {
    app.names.push_back(file.recordName);
    app.contents.push_back(host_test::readFile(file.source));
  }
  return app;
}

std::vector<Mutation> recordMutations(const AppRecords& app) {
  const std::vector<Record> sound = recordsOf(app);
  std::vector<Mutation> all;
  auto withRecord = [&](size_t k, const std::function<void(Record&)>& change) {
    std::vector<Record> records = sound;
    change(records[k]);
    return encode(records);
  };

  for (size_t k = 0; k < sound.size(); ++k) {
    const std::string at = " in record " + std::to_string(k);
    const uint64_t size = sound[k].size;
    std::vector<uint64_t> sizes = {UINT64_MAX, uint64_t{1} << 63, (uint64_t{1} << 32) + size, size + 1,
                                   size + 65536};
    if (size > 0) sizes.insert(sizes.end(), {size - 1, 0});
    for (uint64_t wrong : sizes)
      all.push_back(compressed("record-size", "size " + sizeText(wrong) + " for " + sizeText(size) + at,
                               withRecord(k, [&](Record& r) { r.size = wrong; })));
    all.push_back(compressed("record-name-unterminated", "name without its zero unit" + at,
                             withRecord(k, [](Record& r) { r.terminated = false; })));
    all.push_back(compressed("record-checksum", "stored checksum changed" + at,
                             withRecord(k, [](Record& r) { r.stored ^= 0x00010000; })));
    all.push_back(compressed("record-empty-name", "empty name" + at, withRecord(k, [](Record& r) {
                               r.name.clear();
                               r.size = 0;
                             })));
  }

  for (size_t k : {size_t{0}, sound.size() - 1}) {
    const std::string at = " in record " + std::to_string(k);
    for (size_t units : LONG_NAME_UNITS) {
      all.push_back(compressed("record-long-name", "name of " + std::to_string(units) + " units" + at,
                               withRecord(k, [&](Record& r) { r.name.assign(units, u'n'); })));
      all.push_back(compressed("record-long-name", "unterminated name of " + std::to_string(units) + " units" + at,
                               withRecord(k, [&](Record& r) {
                                 r.name.assign(units, u'n');
                                 r.terminated = false;
                               })));
    }
    for (const char16_t* name : AWKWARD_NAMES)
      all.push_back(compressed("record-awkward-name", "awkward name" + at,
                               withRecord(k, [&](Record& r) { r.name = name; })));
  }

  std::string whole = encode(sound);
  std::string withoutEnd = encode(sound, false);
  all.push_back(compressed("record-end", "no end record", withoutEnd));
  all.push_back(compressed("record-end", "half an end record", withoutEnd + std::string(1, '\0')));
  all.push_back(compressed("record-end", "bytes after the end record", whole + "after the end"));
  all.push_back(compressed("record-end", "only the end record", onefile::encodeEndRecord()));
  for (size_t cut = 1; cut < whole.size(); cut += whole.size() / 23)
    all.push_back(compressed("record-stream-cut", "stream cut at " + std::to_string(cut), whole.substr(0, cut)));
  return all;
}

}  // namespace mutations
