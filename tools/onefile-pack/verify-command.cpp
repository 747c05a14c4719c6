// onefile-pack verify FILE DIR
// Compares every file the payload names with the file of that name in the
// folder, byte for byte, and lists each one that is missing or differs; the
// reading checks every index against the frame it describes.
// onefile-pack verify --signatures FILE
// Lists every program and library the payload carries, and the executable
// itself, with who signed it or "unsigned".
#include <algorithm>
#include <cinttypes>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <memory>

#include "onefile-pack/command-line.h"
#include "onefile-pack/commands.h"
#include "host/counted-text.h"
#include "host/host-system.h"
#include "host/pack-error.h"
#include "payload-io/payload-file.h"
#include "payload-io/payload-names.h"
#include "host/text-output.h"
#include "host/utf.h"
#include "pe-image/authenticode.h"
#include "pe-image/pe-headers.h"

namespace onefile {
namespace {

enum class Comparison { same, missing, differs };

struct FileCloser {
  void operator()(std::FILE* file) const { std::fclose(file); }  // read-only
};

// The record's content is always read to its end, so the stream stays in step.
Comparison compareRecord(RecordReader& reader, const RecordEntry& record, const std::filesystem::path& path) {
  std::error_code error;
  bool present = std::filesystem::is_regular_file(path, error);
  std::unique_ptr<std::FILE, FileCloser> file(present ? openForReading(path) : nullptr);
  bool same = file != nullptr;
  std::vector<unsigned char> onDisk;
  reader.readContent(record.size, [&](const unsigned char* bytes, size_t size) {
    if (!same) return;
    onDisk.resize(size);
    same = std::fread(onDisk.data(), 1, size, file.get()) == size && std::memcmp(onDisk.data(), bytes, size) == 0;
  });
  if (file == nullptr) return Comparison::missing;
  if (same) same = std::fgetc(file.get()) == EOF && !std::ferror(file.get());
  return same ? Comparison::same : Comparison::differs;
}

const std::vector<OptionDefinition> VERIFY_OPTIONS = {
    {{"--signatures"}, "signatures", "",
     "instead of comparing a folder, list each program and library inside, and the executable, with its signer "
     "or \"unsigned\" (what a signature says; osslsigncode verify checks that it holds)"},
};

// What a record's signature is read from, as its content streams past: the
// first bytes, the headers where the DOS header says they lie (far in or
// not), and then the certificate table they point at. A record of any size
// takes no more memory than that.
class SignatureReader {
 public:
  void take(const unsigned char* bytes, size_t size) {
    keepPart(&prefix_, 0, PREFIX, bytes, position_, size);
    if (!headersAt_ && prefix_.size() >= DOS_HEADER_SIZE) findHeaders();
    if (headersAt_) keepPart(&headers_, *headersAt_, PE_HEADERS_SPAN, bytes, position_, size);
    if (!decided_ && headersAt_ && position_ + size >= *headersAt_ + PE_HEADERS_SPAN) decide();
    if (decided_) keepTable(bytes, position_, size);
    position_ += size;
  }

  // Who signed the record, once it has all passed; nullopt for no PE image.
  std::optional<std::string> text() {
    if (!decided_) decide();  // the record ended before the headers' room
    if (!image_) return std::nullopt;
    if (!range_) return signatureText(std::nullopt);
    bool whole = table_.size() == range_->size;  // else it runs past the record, or beyond the limit
    return signatureText(whole ? view(table_) : ByteView());
  }

 private:
  // Every record's first bytes: a small image whole, and the DOS header.
  static constexpr size_t PREFIX = 64 * 1024;
  // Far above what a signature with its chain and timestamps takes.
  static constexpr uint64_t TABLE_LIMIT = 16 * 1024 * 1024;

  static ByteView view(const std::string& bytes) {
    return ByteView(reinterpret_cast<const unsigned char*>(bytes.data()), bytes.size());
  }

  // Appends to kept, which holds the record's bytes from `from` on, the next
  // of them up to from + length that lie in the bytes at [start, start + size).
  static void keepPart(std::string* kept, uint64_t from, uint64_t length, const unsigned char* bytes, uint64_t start,
                       size_t size) {
    uint64_t next = from + kept->size(), end = std::min<uint64_t>(start + size, from + length);
    if (start > next || next >= end) return;  // no more wanted here, or some were missed
    kept->append(reinterpret_cast<const char*>(bytes + (next - start)), end - next);
  }

  // Known once the DOS header has passed: it lies in the prefix, and so do
  // the bytes of the headers that passed with it.
  void findHeaders() {
    headersAt_ = peHeadersOffset(view(prefix_));
    if (!headersAt_) {
      decided_ = true;  // no image
      return;
    }
    keepPart(&headers_, *headersAt_, PE_HEADERS_SPAN, reinterpret_cast<const unsigned char*>(prefix_.data()), 0,
             std::min<size_t>(prefix_.size(), position_));
  }

  // A table that starts before the bytes at position_ is taken from what was
  // kept of those that passed.
  void decide() {
    decided_ = true;
    std::string headers = headersMovedUp(view(prefix_), view(headers_));
    image_ = isPeImage(view(headers));
    if (!image_) return;
    range_ = certificateTableRange(view(headers));
    keepTable(reinterpret_cast<const unsigned char*>(prefix_.data()), 0, std::min<size_t>(prefix_.size(), position_));
    uint64_t headersPassed = position_ > *headersAt_ ? position_ - *headersAt_ : 0;
    keepTable(reinterpret_cast<const unsigned char*>(headers_.data()), *headersAt_,
              std::min<uint64_t>(headers_.size(), headersPassed));
  }

  void keepTable(const unsigned char* bytes, uint64_t start, size_t size) {
    if (range_ && range_->size <= TABLE_LIMIT) keepPart(&table_, range_->offset, range_->size, bytes, start, size);
  }

  std::string prefix_, headers_, table_;
  uint64_t position_ = 0;
  std::optional<uint64_t> headersAt_;
  bool decided_ = false, image_ = false;
  std::optional<FileRange> range_;
};

int listSignatures(const std::filesystem::path& path) {
  std::string shown = displayName(path.u8string());
  PayloadFile payload(path);
  std::unique_ptr<DecodedStream> stream = payload.openStream();
  RecordReader reader(*stream);
  uint64_t records = 0, images = 0, unsignedImages = 0;
  try {
    while (std::optional<RecordEntry> record = reader.next()) {
      SignatureReader signature;
      reader.readContent(record->size, [&](const unsigned char* bytes, size_t size) { signature.take(bytes, size); });
      records += 1;
      std::optional<std::string> text = signature.text();
      if (!text) continue;
      images += 1;
      unsignedImages += *text == "unsigned";
      printText(stdout, "%s: %s\n", displayName(utf16ToUtf8(record->name)).c_str(), text->c_str());
    }
    stream->finishFrame();
  } catch (const PayloadDamage& damage) {
    printText(stderr, "onefile-pack: %s: damaged after %s: %s\n", shown.c_str(), countedText(records, "record").c_str(),
              damage.what());
    return EXIT_FAILED;
  }
  // The executable is counted with the files, as it is listed with them.
  MappedFile file(path);
  ByteView whole(file.data(), file.size());
  std::string executable;
  if (isPeImage(whole)) {
    std::string own = signatureText(certificateTable(whole));
    unsignedImages += own == "unsigned";
    printText(stdout, "%s (the executable): %s\n", shown.c_str(), own.c_str());
    executable = "the executable and ";
  }
  printText(stdout, "%s%" PRIu64 " %s inside, %" PRIu64 " unsigned\n", executable.c_str(), images,
            images == 1 ? "program or library" : "programs and libraries", unsignedImages);
  return unsignedImages == 0 ? EXIT_OK : EXIT_FAILED;
}

}  // namespace

std::vector<OptionDefinition> verifyOptions() { return VERIFY_OPTIONS; }

int runVerifyCommand(const Arguments& arguments) {
  ParsedArguments parsed = parseArguments(arguments, verifyOptions());
  if (parsed.has("signatures")) {
    if (parsed.positional.size() != 1) throw UsageError("--signatures expects a payload file (or executable) alone");
    return listSignatures(std::filesystem::u8path(parsed.positional[0]));
  }
  if (parsed.positional.size() != 2) throw UsageError("expects a payload file (or executable) and a folder");
  std::string shown = displayName(parsed.positional[0]);
  std::filesystem::path folder = std::filesystem::u8path(parsed.positional[1]);
  if (!std::filesystem::is_directory(folder)) throw PackError(displayName(folder.u8string()), "no such folder");
  PayloadFile payload(std::filesystem::u8path(parsed.positional[0]));

  std::unique_ptr<DecodedStream> stream = payload.openStream();
  RecordReader reader(*stream);
  uint64_t files = 0, missing = 0, differing = 0;
  try {
    while (std::optional<RecordEntry> record = reader.next()) {
      std::string name = utf16ToUtf8(record->name);
      Comparison result = compareRecord(reader, *record, hostPathOf(folder, record->name));
      files += 1;
      if (result == Comparison::missing) ++missing, printText(stdout, "missing  %s\n", name.c_str());
      if (result == Comparison::differs) ++differing, printText(stdout, "differs  %s\n", name.c_str());
    }
    // As the bootstrap does: the frame's checksum covers every record read.
    stream->finishFrame();
  } catch (const PayloadDamage& damage) {
    printText(stderr, "onefile-pack: %s: damaged after %s: %s\n", shown.c_str(), countedText(files, "record").c_str(),
              damage.what());
    return EXIT_FAILED;
  }
  printText(stdout, "%s: %" PRIu64 " missing, %" PRIu64 " %s\n", countedText(files, "file").c_str(), missing, differing,
            differing == 1 ? "differs" : "differ");
  return missing + differing == 0 ? EXIT_OK : EXIT_FAILED;
}

}  // namespace onefile
