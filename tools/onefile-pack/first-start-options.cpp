#include "onefile-pack/first-start-options.h"

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

OptionDefinition noLinksBetweenVersionsOption() {
  return {{"--no-links-between-versions"}, "no-links-between-versions", "",
          "make an update's first start write every file, rather than take the files that did not change from "
          "the previous version's cache folder as hard links (see the guide)"};
}

bool linksBetweenVersionsFrom(const ParsedArguments& parsed) { return !parsed.has("no-links-between-versions"); }

std::string linksBetweenVersionsText(uint32_t flags) {
  if ((flags & ATTACHED_FLAG_LINKS_BETWEEN_VERSIONS) != 0)
    return "takes the files that did not change from the previous version's folder, as hard links";
  return "writes every file (--no-links-between-versions, or built by an onefile-pack without the choice)";
}

}  // namespace onefile
