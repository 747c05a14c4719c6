// A terminal on Linux takes UTF-8 as it is.
#include "host/text-output.h"

namespace onefile {

// As printf: a failed write shows in the stream's error flag, and there is
// no one else to tell.
void writeText(std::FILE* stream, std::string_view utf8) { (void)std::fwrite(utf8.data(), 1, utf8.size(), stream); }

}  // namespace onefile
