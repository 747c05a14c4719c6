// The notices that the code linked into the bootstrap asks to travel with
// every executable made from it. Their one source is the user's guide, its
// section "Licences of what you ship": the build writes them into a source
// file of its own (cmake/embed-notices.cmake), so the two never differ.
#pragma once
#include <string_view>

namespace onefile {

std::string_view thirdPartyNotices();

}  // namespace onefile
