// A payload just written, read back before it is put in place: a packer
// that wrote an index naming other records than its frame holds would
// otherwise ship it, and a start trusts a sound index over a whole cache.
#pragma once
#include <filesystem>
#include <string>

#include "host/progress.h"
#include "payload-io/payload-writer.h"

namespace onefile {

// Reads the payload in file (a payload file or an executable) through as
// every reader does, each index against its frame and each record's content
// against its checksum, and requires the files and bytes summary counted.
// Throws PackError (subject shown) saying what differs. progress may be null.
void checkReadBack(const std::filesystem::path& file, const PackSummary& summary, const std::string& shown,
                   Progress* progress);

}  // namespace onefile
