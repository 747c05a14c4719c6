// The name of an application's cache folder, as it meets other vendors'
// folders in the same parent (%LOCALAPPDATA%): a name taken from a file
// name alone, or a generic one, is shared by programs of other vendors, and
// the removal of older versions would take their folders too.
#pragma once
#include <optional>
#include <string>

#include "executable/main-program.h"

namespace onefile {

// The name that a build with --remove-old-versions and neither --name nor
// --template gives its cache folder: the main program's product name. Throws
// OptionError, saying what to pass, when it has none usable as a folder name.
std::string nameForOldVersionRemoval(const ProgramDefaults& carried);

// The application's own folder in the template: the literal name right
// below its first placeholder ("app" in {CACHE_DIR}\app\{VERSION}); nullopt
// for a template of another shape.
std::optional<std::string> applicationFolderName(const std::u16string& pathTemplate);

// True for a name many vendors' programs have (app, main, setup, ...).
bool isGenericFolderName(const std::string& name);

// The warning about a generic name, as one line; given says whether the
// name comes from --template (else from --name or the main program).
void warnAboutGenericFolderName(const std::string& name, bool fromTemplate);

}  // namespace onefile
