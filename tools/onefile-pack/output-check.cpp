#include "onefile-pack/output-check.h"

#include "host/byte-sink.h"
#include "host/pack-error.h"
#include "host/text-output.h"
#include "host/utf.h"
#include "onefile-pack/command-line.h"

namespace fs = std::filesystem;

namespace onefile {
namespace {

bool endsInSeparator(const std::string& given) {
  if (given.empty()) return false;
  char last = given.back();
  return last == '/' || last == static_cast<char>(fs::path::preferred_separator);
}

}  // namespace

void checkOutputPath(const std::string& given, const std::string& spelling) {
  const std::string shown = displayName(given);
  // Named as a folder: the file to write is named, never guessed.
  if (endsInSeparator(given))
    throw OptionError(spelling, shown + " names a folder; name the file to write, such as " + shown + "app.exe");
  fs::path output = fs::u8path(given);
  std::error_code error;
  if (fs::is_directory(output, error))
    throw OptionError(spelling, shown + " is a folder; name the file to write in it, such as " +
                                    displayName((output / "app.exe").u8string()));
  fs::path folder = output.parent_path().empty() ? fs::path(".") : output.parent_path();
  std::string shownFolder = displayName(folder.u8string());
  fs::file_status status = fs::status(folder, error);
  if (!fs::exists(status)) throw OptionError(spelling, shown + ": the folder " + shownFolder + " does not exist");
  if (!fs::is_directory(status)) throw OptionError(spelling, shown + ": " + shownFolder + " is not a folder");
  // What killed runs left here goes before this run adds its own.
  for (const fs::path& removed : removeAbandonedPartials(output))
    printText(stderr, "onefile-pack: removed %s, the unfinished output of an earlier run that was killed\n",
              displayName(removed.u8string()).c_str());
  // The output is written beside its final name and moved there: making that
  // file (removed at once) is the one test of writing that every system and
  // file system answers truly.
  try {
    AtomicOutputFile probe(output);
  } catch (const PackError& refused) {
    throw OptionError(spelling, shown + ": " + refused.reason());
  }
}

}  // namespace onefile
