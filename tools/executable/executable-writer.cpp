#include "executable/executable-writer.h"

#include <algorithm>
#include <cstring>

#include "host/byte-fields.h"
#include "host/mapped-file.h"
#include "host/pack-error.h"
#include "resources/attached.h"
#include "host/utf.h"

namespace onefile {
namespace {

constexpr char RESOURCE_SECTION_NAME[8] = {'.', 'r', 's', 'r', 'c', '\0', '\0', '\0'};
constexpr unsigned EXECUTABLE_PERMISSIONS = 0777;  // as a linker leaves a program, less the umask
constexpr size_t OVERWRITE_CHUNK = size_t{1} << 20;

// The attached section up to its payload, and its header; the payload's size
// is set at the end.
std::string attachedPrefix(const ExecutableContent& content, AttachedDataHeader* header) {
  std::string texts;
  header->templateOffset = ATTACHED_HEADER_SIZE;
  appendZeroTerminatedUtf16(&texts, content.pathTemplate);
  header->versionOffset = header->templateOffset + static_cast<uint32_t>(texts.size());
  appendZeroTerminatedUtf16(&texts, content.versionText);
  header->nameOffset = header->templateOffset + static_cast<uint32_t>(texts.size());
  appendZeroTerminatedUtf16(&texts, content.applicationName);
  header->payloadOffset = alignUp(ATTACHED_HEADER_SIZE + texts.size(), ATTACHED_PAYLOAD_ALIGNMENT);
  header->payloadSize = 0;
  header->flags = (content.progressWindow ? ATTACHED_FLAG_PROGRESS_WINDOW : 0) |
                  (content.removeOldVersions ? ATTACHED_FLAG_REMOVE_OLD_VERSIONS : 0) |
                  attachedCloseThreadsFlags(content.closeThreads) |
                  (content.linksBetweenVersions ? ATTACHED_FLAG_LINKS_BETWEEN_VERSIONS : 0);

  std::string out(ATTACHED_HEADER_SIZE, '\0');
  encodeAttachedDataHeader(*header, reinterpret_cast<unsigned char*>(out.data()));
  out += texts;
  out.resize(header->payloadOffset, '\0');
  return out;
}

NewSection section(const char (&name)[8], uint32_t characteristics, uint64_t size) {
  NewSection s;
  std::memcpy(s.name, name, sizeof s.name);
  s.characteristics = characteristics;
  s.virtualSize = static_cast<uint32_t>(size);
  return s;
}

}  // namespace

std::string imageSizeLimitReason() {
  return "Windows loads no image of " + std::to_string(IMAGE_SIZE_LIMIT) + " bytes or more";
}

class ExecutableWriter::PayloadSink : public ByteSink {
 public:
  // start: where the payload's first byte lies in the file.
  PayloadSink(AtomicOutputFile& file, uint64_t start, uint64_t limit, std::string shown)
      : file_(file), start_(start), limit_(limit), shown_(std::move(shown)) {}
  void write(const void* bytes, size_t size) override {
    if (size > limit_ - written_)
      throw PackError(shown_, "the payload grows past " + std::to_string(limit_) +
                                  " bytes, the most an executable can carry: " + imageSizeLimitReason());
    file_.write(bytes, size);
    written_ += size;
  }
  void overwrite(uint64_t offset, const void* bytes, size_t size) override {
    file_.overwrite(start_ + offset, bytes, size);
  }
  uint64_t written() const { return written_; }

 private:
  AtomicOutputFile& file_;
  uint64_t start_;
  uint64_t limit_;
  uint64_t written_ = 0;
  std::string shown_;
};

ExecutableWriter::ExecutableWriter(const StubImage& stub, const ExecutableContent& content,
                                   const std::filesystem::path& output)
    : stub_(stub), subsystem_(content.subsystem), file_(output, EXECUTABLE_PERMISSIONS) {
  std::string prefix = attachedPrefix(content, &attachedHeader_);
  payloadOffset_ = prefix.size();
  // The resource data points at itself by address: place the sections once
  // with the right sizes for all but the last (the attached data) first.
  std::string resources;
  if (!content.resources.empty()) {
    sections_.push_back(section(RESOURCE_SECTION_NAME, READ_ONLY_DATA_SECTION,
                                buildResourceSection(content.resources, 0).size()));
    resourceSection_ = 0;
  }
  sections_.push_back(section(ATTACHED_SECTION_NAME, READ_ONLY_DATA_SECTION, prefix.size()));
  stub_.place(&sections_);
  if (resourceSection_ >= 0) resources = buildResourceSection(content.resources, sections_[0].virtualAddress);

  const NewSection& attached = sections_.back();
  attachedRawOffset_ = attached.rawOffset;
  uint64_t room = IMAGE_SIZE_LIMIT - stub_.sectionAlignment();  // the largest aligned image size below the limit
  maxPayload_ = room > attached.virtualAddress + payloadOffset_ ? room - attached.virtualAddress - payloadOffset_ : 0;

  file_.write(stub_.bytes().data(), stub_.bytes().size());
  std::string padding;
  if (resourceSection_ >= 0) {
    padding.assign(sections_[0].rawOffset - stub_.bytes().size(), '\0');
    file_.write(padding.data(), padding.size());
    file_.write(resources.data(), resources.size());
  }
  uint64_t written = resourceSection_ >= 0 ? sections_[0].rawOffset + resources.size() : stub_.bytes().size();
  padding.assign(attachedRawOffset_ - written, '\0');
  file_.write(padding.data(), padding.size());
  file_.write(prefix.data(), prefix.size());
  sink_ = std::make_unique<PayloadSink>(file_, attachedRawOffset_ + payloadOffset_, maxPayload_,
                                        displayName(output.u8string()));
}

ExecutableWriter::~ExecutableWriter() = default;

ByteSink& ExecutableWriter::payload() { return *sink_; }

// The step's file is written over the output, which it extends: the output
// stays the one file that an interrupted run removes.
uint64_t ExecutableWriter::takeFinalStep(const FinalStep& finalStep) {
  file_.flush();
  std::filesystem::path replacement = finalStep(std::filesystem::u8path(file_.temporaryPath()));
  MappedFile bytes(replacement);
  uint64_t written = std::filesystem::file_size(std::filesystem::u8path(file_.temporaryPath()));
  if (bytes.size() < written)
    throw PackError(displayName(replacement.u8string()), "is shorter than the executable it was made from");
  for (size_t done = 0; done < bytes.size(); done += OVERWRITE_CHUNK)
    file_.overwrite(done, bytes.data() + done, std::min(OVERWRITE_CHUNK, bytes.size() - done));
  return bytes.size();
}

uint64_t ExecutableWriter::finish(const FinalStep& finalStep, const Inspection& inspection) {
  uint64_t payloadSize = sink_->written();
  NewSection& attached = sections_.back();
  attached.virtualSize = static_cast<uint32_t>(payloadOffset_ + payloadSize);
  uint64_t end = attachedRawOffset_ + alignUp(attached.virtualSize, stub_.fileAlignment());
  std::string padding(end - (attachedRawOffset_ + attached.virtualSize), '\0');
  file_.write(padding.data(), padding.size());

  attachedHeader_.payloadSize = payloadSize;
  unsigned char header[ATTACHED_HEADER_SIZE];
  encodeAttachedDataHeader(attachedHeader_, header);
  file_.overwrite(attachedRawOffset_, header, sizeof header);
  std::string headers = stub_.headersWith(sections_, resourceSection_, subsystem_);
  file_.overwrite(0, headers.data(), headers.size());
  file_.flush();
  uint32_t checksum;
  {
    MappedFile written(std::filesystem::u8path(file_.temporaryPath()));
    checksum = peChecksum(written.data(), written.size(), stub_.checksumOffset());
  }
  std::string field;
  appendLittleEndian(&field, checksum, 4);
  file_.overwrite(stub_.checksumOffset(), field.data(), field.size());
  if (inspection) {
    file_.flush();
    inspection(std::filesystem::u8path(file_.temporaryPath()));
  }
  if (finalStep) end = takeFinalStep(finalStep);
  file_.commit();
  return end;
}

}  // namespace onefile
