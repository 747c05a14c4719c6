#include "onefile-pack/close-threads-option.h"

#include "resources/attached.h"

namespace onefile {

OptionDefinition closeThreadsOption() {
  return {{"--close-threads"}, "close-threads", "N",
          "close the files a first start writes on N threads (1 to 16) beside the unpacking, for many files on "
          "machines whose real-time protection scans each new file as it is closed (default 0: as they are "
          "written; see the guide)"};
}

unsigned closeThreadsFrom(const ParsedArguments& parsed) {
  return static_cast<unsigned>(parsed.integer("close-threads", "--close-threads", 0, 0, ATTACHED_MAX_CLOSE_THREADS));
}

std::string closeThreadsText(uint32_t flags) {
  unsigned threads = attachedCloseThreads(flags);
  if (threads == 0) return "on the unpacking thread";
  return "on " + std::to_string(threads) + (threads == 1 ? " thread" : " threads") + " beside the unpacking";
}

}  // namespace onefile
