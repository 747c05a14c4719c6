#include "onefile-pack/links-option.h"

#include "resources/attached.h"

namespace onefile {

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
