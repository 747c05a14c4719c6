// Files that change while the packer reads them. The writer reads each file
// twice (once for the record's size and checksum, once into the frame), so a
// record never promises what its content does not hold.
#include <gtest/gtest.h>

#include "fixtures.h"
#include "host/pack-error.h"
#include "payload-io/payload-writer.h"
#include "test-support.h"

namespace {

using namespace testing_support;

onefile::FolderFile folderFile(const fs::path& source, const std::u16string& name, uint64_t scannedSize) {
  onefile::FolderFile file;
  file.source = source;
  file.relative = source.filename().string();
  file.recordName = name;
  file.size = scannedSize;
  return file;
}

onefile::CompressionSettings quickSettings() {
  onefile::CompressionSettings settings;
  settings.level = 1;
  settings.threads = 0;
  return settings;
}

// Grown or shrunk between the folder scan and the read: the record carries the
// content as read, with its own size and checksum; the scanned size only
// served the progress total.
TEST(ChangingFile, ARecordHoldsTheContentReadNotTheSizeScanned) {
  ScratchFolder folder;
  const std::string content = fixtures::textBytes(3 << 20, 7);  // more than one read chunk
  writeFile(folder / "main.exe", "main");
  writeFile(folder / "data.bin", content);
  for (uint64_t scanned : {uint64_t{0}, uint64_t{10}, uint64_t(content.size()) * 2}) {
    fs::path output = folder / ("scanned-" + std::to_string(scanned) + ".payload");
    std::vector<onefile::FolderFile> files = {folderFile(folder / "main.exe", u"main.exe", 4),
                                              folderFile(folder / "data.bin", u"data.bin", scanned)};
    onefile::PackSummary summary = onefile::writePayloadFile(files, quickSettings(), output, nullptr);
    EXPECT_EQ(summary.contentBytes, content.size() + 4) << scanned;
    std::vector<DecodedRecord> records = readRecords(output);
    ASSERT_EQ(records.size(), 2u) << scanned;
    EXPECT_EQ(records[1].size, content.size()) << scanned;
    EXPECT_EQ(records[1].checksum, crc32Of(content)) << scanned;
    EXPECT_TRUE(records[1].content == content) << scanned;
  }
}

// Changed between the two reads: the pack fails naming the file, and the
// payload file never appears. /proc/self/io counts the bytes this process has
// read, so each read of it tells another story.
TEST(ChangingFile, AFileThatChangesBetweenItsTwoReadsFailsThePackAndLeavesNoPayload) {
  if (!fs::exists("/proc/self/io")) GTEST_SKIP() << "no /proc/self/io to change under the packer";
  ScratchFolder folder;
  writeFile(folder / "main.exe", "main");
  fs::path output = folder / "changed.payload";
  std::vector<onefile::FolderFile> files = {folderFile(folder / "main.exe", u"main.exe", 4),
                                            folderFile("/proc/self/io", u"io", 0)};
  try {
    onefile::writePayloadFile(files, quickSettings(), output, nullptr);
    ADD_FAILURE() << "a file that changed was packed";
  } catch (const onefile::PackError& error) {
    EXPECT_EQ(error.subject(), "/proc/self/io");
    EXPECT_EQ(error.reason(), "changed while it was being packed");
  }
  EXPECT_EQ(entriesOf(folder.path()), std::vector<std::string>{"main.exe"});
}

}  // namespace
