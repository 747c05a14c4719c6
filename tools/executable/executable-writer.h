// Writes a finished executable: the prebuilt stub with its sections as they
// are, then the resource section and the attached-data section (template,
// version text, application name and payload), with the headers made whole
// and the checksum set. The payload is streamed in; the file appears only when complete.
#pragma once
#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "host/byte-sink.h"
#include "executable/stub-image.h"
#include "pe-image/resource-directory.h"
#include "resources/attached.h"

namespace onefile {

// Windows maps no image of 2 GiB or more (the linkers refuse to make one),
// though the image size field would hold up to 4 GiB.
inline constexpr uint64_t IMAGE_SIZE_LIMIT = uint64_t(1) << 31;

// Why no payload may pass maxPayloadSize(): the end of every refusal of one
// that is too large.
std::string imageSizeLimitReason();

struct ExecutableContent {
  std::u16string pathTemplate;
  std::u16string versionText;
  std::u16string applicationName;  // what the bootstrap's own windows call the application
  std::vector<Resource> resources;
  uint16_t subsystem = SUBSYSTEM_GUI;  // the one field of the stub's headers that differs per program
  bool progressWindow = false;         // a long first start shows its progress
  bool removeOldVersions = false;      // a start removes the folders of older versions
  unsigned closeThreads = 0;           // threads that close a start's written files; 0 for none
  bool linksBetweenVersions = false;   // an update's first start takes unchanged files from the last version's folder
};

class ExecutableWriter {
 public:
  // Writes everything in front of the payload.
  ExecutableWriter(const StubImage& stub, const ExecutableContent& content, const std::filesystem::path& output);
  ~ExecutableWriter();

  // The largest payload this executable can carry and still load.
  uint64_t maxPayloadSize() const { return maxPayload_; }
  // Takes the payload's bytes; throws PackError past maxPayloadSize().
  ByteSink& payload();
  // Given the finished executable's path, returns a file that holds it
  // signed (a signature after its end, its headers' checksum and certificate
  // entry changed to match), to take its place.
  using FinalStep = std::function<std::filesystem::path(const std::filesystem::path& finished)>;
  // Given the finished executable's path, throws if it must not be kept.
  using Inspection = std::function<void(const std::filesystem::path& finished)>;
  // Completes the headers, has the file inspected, takes the final step's
  // file if there is one, and moves the file into place. Returns its size.
  uint64_t finish(const FinalStep& finalStep = nullptr, const Inspection& inspection = nullptr);

 private:
  class PayloadSink;
  uint64_t takeFinalStep(const FinalStep& finalStep);

  const StubImage& stub_;
  uint16_t subsystem_;
  std::vector<NewSection> sections_;
  int resourceSection_ = -1;
  uint64_t attachedRawOffset_ = 0;
  uint64_t payloadOffset_ = 0;  // in the attached section
  AttachedDataHeader attachedHeader_{};  // its payload size set when finished
  uint64_t maxPayload_ = 0;
  AtomicOutputFile file_;
  std::unique_ptr<PayloadSink> sink_;
};

}  // namespace onefile
