// onefile-pack verify FILE DIR
// Compares every file the payload names with the file of that name in the
// folder, byte for byte, and lists each one that is missing or differs; and
// checks every index against the frame it describes.
// onefile-pack verify --signatures FILE
// Lists every program and library the payload carries, and the executable
// itself, with who signed it or "unsigned".
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

// Who signed an image, as the listing shows it; nullopt for no PE image.
std::optional<std::string> signatureText(ByteView bytes) {
  if (!isPeImage(bytes)) return std::nullopt;
  std::optional<ByteView> table = certificateTable(bytes);
  if (!table) return std::string("unsigned");
  std::optional<SignerIdentity> signer = signerOf(*table);
  if (!signer) return std::string("signed, by a signer that cannot be read");
  return "signed by " + (signer->name.empty() ? std::string("a signer without a name") : displayName(signer->name));
}

int listSignatures(const std::filesystem::path& path) {
  std::string shown = displayName(path.u8string());
  PayloadFile payload(path);
  std::unique_ptr<DecodedStream> stream = payload.openStream();
  RecordReader reader(*stream);
  uint64_t records = 0, images = 0, unsignedImages = 0;
  try {
    std::string content;
    while (std::optional<RecordEntry> record = reader.next()) {
      content.clear();
      reader.readContent(record->size, [&](const unsigned char* bytes, size_t size) {
        content.append(reinterpret_cast<const char*>(bytes), size);
      });
      records += 1;
      std::optional<std::string> text =
          signatureText(ByteView(reinterpret_cast<const unsigned char*>(content.data()), content.size()));
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
  MappedFile file(path);
  std::optional<std::string> own = signatureText(ByteView(file.data(), file.size()));
  if (own) {
    unsignedImages += *own == "unsigned";
    printText(stdout, "%s (the executable): %s\n", shown.c_str(), own->c_str());
  }
  printText(stdout, "%" PRIu64 " %s inside, %" PRIu64 " unsigned\n", images,
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
  try {
    payload.checkIndexes();
  } catch (const PayloadDamage& damage) {
    printText(stderr, "onefile-pack: %s: %s\n", shown.c_str(), damage.what());
    return EXIT_FAILED;
  }
  printText(stdout, "%s: %" PRIu64 " missing, %" PRIu64 " %s\n", countedText(files, "file").c_str(), missing, differing,
            differing == 1 ? "differs" : "differ");
  return missing + differing == 0 ? EXIT_OK : EXIT_FAILED;
}

}  // namespace onefile
