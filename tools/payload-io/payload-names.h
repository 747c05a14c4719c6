// The guard for a ready payload that is built into an executable as it is:
// the bootstrap trusts every name it unpacks, so the names are checked here.
#pragma once
#include <filesystem>
#include <string>
#include <vector>

#include "payload-io/payload-file.h"

namespace onefile {

// Reads the payload's records through and throws PackError (subject shown)
// for a damaged payload, a payload without files, a first file that is not
// an .exe at the top level, and any name that recordNameProblem refuses or
// that collides with another but for case. Returns the records' headers.
std::vector<RecordEntry> checkPayloadNames(const PayloadFile& payload, const std::string& shown);

// Where a record name lands under folder on this machine; only a name that
// checkPayloadNames accepts is sure to stay inside the folder.
std::filesystem::path hostPathOf(const std::filesystem::path& folder, std::u16string_view recordName);

}  // namespace onefile
