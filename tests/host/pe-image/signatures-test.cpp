// Who signed an image, read as build --sign and verify --signatures read it,
// checked against osslsigncode's own reading of the same files.
#include <gtest/gtest.h>

#include <optional>
#include <regex>

#include "pe-image/authenticode.h"
#include "pe-image/der-reader.h"
#include "program-samples.h"
#include "test-support.h"

namespace {

using namespace program_samples;
using testing_support::CommandResult;
using testing_support::readFile;
using testing_support::runShell;
using testing_support::shellQuote;

onefile::ByteView viewOf(const std::string& bytes) {
  return onefile::ByteView(reinterpret_cast<const unsigned char*>(bytes.data()), bytes.size());
}

struct Reported {
  std::string signer;
  int64_t notAfter = 0;
};

// osslsigncode's signer (the first "Subject" it names) and its certificate's
// end, in seconds as date reads osslsigncode's text.
Reported reportedByOsslsigncode(const fs::path& image) {
  CommandResult verified = runShell("osslsigncode verify -in " + shellQuote(image.string()) + " 2>&1");
  std::smatch subject, end;
  EXPECT_TRUE(std::regex_search(verified.out, subject, std::regex("Signer #0:\\s+Subject: .*CN=([^/\\n]+)")))
      << verified.out;
  EXPECT_TRUE(std::regex_search(verified.out, end, std::regex("Signer #0:[^#]*notAfter : ([^\\n]+)")));
  CommandResult seconds = runShell("date -u -d " + shellQuote(end[1].str()) + " +%s");
  return {subject[1].str(), std::stoll(seconds.out)};
}

// With data after the image too, which build --sign leaves unsigned.
TEST(Signatures, ImagesReadAsOsslsigncodeReportsThem) {
  struct Image {
    const char* label;
    fs::path path;
    bool isImage, isSigned;
    std::string appended = "";
    bool dataAfterImage = false;
  };
  const fs::path regressions = fs::path(FUZZ_REGRESSIONS_DIR) / "program";
  const Image images[] = {
      {"a signed program", regressions / "small-program-signed", true, true},
      {"a signed program, data after its signature", regressions / "small-program-signed", true, true, "data", true},
      {"the same program unsigned", regressions / "small-program-with-icons-and-version", true, false},
      {"7-Zip's console program", sevenZip(), true, false},
      {"7-Zip's console program, an archive after it", sevenZip(), true, false, "7z\xBC\xAF\x27\x1C", true},
      {"7-Zip's console program, zeros after it", sevenZip(), true, false, std::string(512, '\0'), false},
      {"a Wine library, COFF symbols after its sections", wineProgram("version.dll"), true, false},
      {"a Wine library, data after its symbols", wineProgram("version.dll"), true, false, "\x01", true},
      {"a file that only starts with MZ", regressions / "machine-i386", true, false},
      {"an empty file", regressions / "empty", false, false},
  };
  for (const Image& image : images) {
    SCOPED_TRACE(image.label);
    std::string bytes = readFile(image.path) + image.appended;
    EXPECT_EQ(onefile::isPeImage(viewOf(bytes)), image.isImage);
    EXPECT_EQ(onefile::carriesDataAfterImage(viewOf(bytes)), image.dataAfterImage);
    std::optional<onefile::ByteView> table = onefile::certificateTable(viewOf(bytes));
    ASSERT_EQ(table.has_value(), image.isSigned);
    if (!image.isSigned || !image.appended.empty()) continue;
    std::optional<onefile::SignerIdentity> signer = onefile::signerOf(*table);
    ASSERT_TRUE(signer.has_value());
    Reported reported = reportedByOsslsigncode(image.path);
    EXPECT_EQ(signer->name, reported.signer);
    EXPECT_EQ(signer->notAfter, reported.notAfter);
    // A signature cut short anywhere names no signer, and reads nothing past
    // its end. The table's own length is cut with it, so that the cut reaches
    // the DER reader rather than the table's check; the padding after the
    // DER is no part of the signature.
    std::optional<onefile::DerElement> der = onefile::DerCursor(*table->part(8, table->size() - 8)).next();
    ASSERT_TRUE(der.has_value());
    for (size_t length = 8; length < 8 + der->whole.size(); ++length) {
      std::string cut(reinterpret_cast<const char*>(table->data()), length);
      for (int i = 0; i < 4; ++i) cut[i] = static_cast<char>(length >> (8 * i));
      EXPECT_FALSE(onefile::signerOf(viewOf(cut)).has_value()) << length;
    }
  }
}

// DER's lengths: the short form below 128, else the long form in as few
// bytes as the length needs; any other form, or an element past the window,
// is refused.
TEST(Signatures, DerLengths) {
  const struct {
    std::string bytes;
    std::optional<size_t> content;  // the element's content size, when it is read
  } elements[] = {
      {std::string("\x04\x02" "ab", 4), 2},
      {"\x04\x81\x80" + std::string(128, 'a'), 128},
      {std::string("\x04\x82\x01\x00", 4) + std::string(256, 'a'), 256},
      {std::string("\x04\x81\x02" "ab", 5), std::nullopt},  // fits the short form
      {std::string("\x04\x82\x00\x80", 4) + std::string(128, 'a'), std::nullopt},  // a leading zero byte
      {std::string("\x04\x80" "ab\x00\x00", 6), std::nullopt},  // indefinite
      {std::string("\x04\x85\x00\x00\x00\x00\x02" "ab", 9), std::nullopt},  // five length bytes
      {std::string("\x04\x03" "ab", 4), std::nullopt},  // past the window
  };
  for (const auto& element : elements) {
    SCOPED_TRACE(testing::PrintToString(std::vector<int>(element.bytes.begin(), element.bytes.begin() + 3)));
    std::optional<onefile::DerElement> read = onefile::DerCursor(viewOf(element.bytes)).next();
    ASSERT_EQ(read.has_value(), element.content.has_value());
    if (read) {
      EXPECT_EQ(read->content.size(), *element.content);
    }
  }
}

// Certificates' times: UTCTime's two-digit years part at 1950, and every
// other form is refused rather than guessed.
TEST(Signatures, CertificateTimes) {
  const struct {
    uint8_t tag;
    const char* text;
    std::optional<int64_t> seconds;
  } times[] = {
      {onefile::DER_UTC_TIME, "700101000000Z", 0},
      {onefile::DER_UTC_TIME, "491231235959Z", 2524607999},
      {onefile::DER_UTC_TIME, "500101000000Z", -631152000},
      {onefile::DER_UTC_TIME, "240229120000Z", 1709208000},
      {onefile::DER_GENERALIZED_TIME, "20500101000000Z", 2524608000},
      {onefile::DER_UTC_TIME, "2401011200Z", std::nullopt},     // no seconds
      {onefile::DER_UTC_TIME, "240101120000+0100", std::nullopt},
      {onefile::DER_UTC_TIME, "241301120000Z", std::nullopt},   // month 13
      {onefile::DER_GENERALIZED_TIME, "240101120000Z", std::nullopt},
      {onefile::DER_INTEGER, "240101120000Z", std::nullopt},
  };
  for (const auto& time : times) {
    SCOPED_TRACE(time.text);
    std::string text = time.text;
    onefile::DerElement element{time.tag, {}, viewOf(text)};
    EXPECT_EQ(onefile::derTime(element), time.seconds);
    if (time.seconds) {
      CommandResult date = runShell("date -u -d @" + std::to_string(*time.seconds) + " +%F");
      EXPECT_EQ(onefile::utcDateText(*time.seconds) + "\n", date.out);
    }
  }
}

}  // namespace
