// Packs an application folder into a payload: one record per file (main
// program first), then the end record; in frames of about
// settings.frameContentBytes of content, each after its index, or all in one.
#pragma once
#include <filesystem>
#include <vector>

#include "payload-io/app-folder.h"
#include "host/byte-sink.h"
#include "payload-io/frame-compressor.h"
#include "host/progress.h"

namespace onefile {

struct PackSummary {
  uint64_t files = 0;
  uint64_t contentBytes = 0;
  uint64_t decodedBytes = 0;  // the whole record stream
  uint64_t payloadBytes = 0;
};

// Reads every file once for its checksum and once more into the frame, and
// fails if a file changed in between. progress may be null.
PackSummary writePayload(const std::vector<FolderFile>& files, const CompressionSettings& settings, ByteSink& sink,
                         Progress* progress);

// writePayload into a file that appears only when it is complete, and once
// it has been read back (read-back-check.h). checking, the progress of that
// reading, may be null.
PackSummary writePayloadFile(const std::vector<FolderFile>& files, const CompressionSettings& settings,
                             const std::filesystem::path& output, Progress* progress, Progress* checking = nullptr);

}  // namespace onefile
