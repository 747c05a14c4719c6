// The removal of a folder that holds files only, on Windows: by the private
// temporary folder when it goes, and by the interrupt's handler.
#pragma once
#include <filesystem>

namespace onefile {

// Removes a folder that holds files only; true when it is gone. The folder
// itself is removed only once it lists no file: a file deleted while another
// handle holds it stays listed until that closes, and a folder removed
// before then may stay behind, pending deletion, refusing every later attempt.
bool removeFlatFolder(const std::filesystem::path& folder);

}  // namespace onefile
