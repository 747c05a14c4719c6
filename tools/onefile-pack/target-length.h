// How long a path template's expansion, the folder that an application is
// unpacked into, may become on a user's machine: what names are checked
// against when the template is known but the machine is not.
#pragma once
#include <cstddef>
#include <string_view>

namespace onefile {

// An upper estimate, in UTF-16 code units without the terminator, of the full
// target folder that the template gives: its literal text, an allowance for
// each placeholder's value (the version text is versionUnits long), and one
// for the current folder when the expansion does not begin with a full path.
// The braces are read as the bootstrap reads them; an unknown name adds
// nothing, since such a template never expands.
size_t estimatedTargetFolderLength(std::u16string_view pathTemplate, size_t versionUnits);

}  // namespace onefile
