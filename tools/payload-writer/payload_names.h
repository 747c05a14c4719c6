// The guard for a ready payload that is built into an executable as it is:
// the bootstrap trusts every name it unpacks, so the names are checked here.
#pragma once
#include <string>

#include "payload_file.h"

namespace onefile {

// Reads the payload's records through and throws PackError (subject shown)
// for a damaged payload, a payload without files, a first file that is not
// an .exe at the top level, and any name that recordNameProblem refuses or
// that collides with another but for case.
void checkPayloadNames(const PayloadFile& payload, const std::string& shown);

}  // namespace onefile
