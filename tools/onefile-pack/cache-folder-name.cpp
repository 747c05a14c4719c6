#include "onefile-pack/cache-folder-name.h"

#include <algorithm>
#include <cstdio>

#include "host/text-output.h"
#include "host/utf.h"
#include "onefile-pack/command-line.h"
#include "payload-io/windows-names.h"

namespace onefile {
namespace {

// Names that say nothing of whose program it is: the folder names of many
// vendors' programs, compared ignoring case.
constexpr const char* GENERIC_FOLDER_NAMES[] = {
    "app",   "application", "main",   "program", "setup",  "install", "installer", "launcher", "launch",
    "start", "run",         "runner", "client",  "update", "updater", "service",   "helper",
};

constexpr char WHOSE_NAME[] = "a name that says whose application it is";
constexpr char EXAMPLE_NAME[] = "--name Contoso.Notes";

std::string lowerAscii(std::string text) {
  std::transform(text.begin(), text.end(), text.begin(),
                 [](char unit) { return unit >= 'A' && unit <= 'Z' ? static_cast<char>(unit + 32) : unit; });
  return text;
}

// A product name can name a folder when Windows takes it as one and it
// holds no brace, which the template would read as a placeholder.
bool namesAFolder(const std::string& name) {
  std::optional<std::u16string> wide = utf8ToUtf16(name);
  return wide && !wide->empty() && !componentProblem(*wide) && name.find_first_of("{}") == std::string::npos;
}

}  // namespace

std::string nameForOldVersionRemoval(const ProgramDefaults& carried) {
  if (namesAFolder(carried.product)) return carried.product;
  throw OptionError("--remove-old-versions",
                    "the cache folder's name " + displayName(carried.name) +
                        " comes from the main program's file name alone, which another vendor's program may share, "
                        "and their folders would be removed as older versions; pass " + WHOSE_NAME +
                        " (for example " + EXAMPLE_NAME + ")");
}

std::optional<std::string> applicationFolderName(const std::u16string& pathTemplate) {
  size_t placeholderEnd = pathTemplate.find(u'}');
  if (pathTemplate.empty() || pathTemplate[0] != u'{' || placeholderEnd == std::u16string::npos ||
      placeholderEnd + 1 >= pathTemplate.size() || pathTemplate[placeholderEnd + 1] != u'\\')
    return std::nullopt;
  size_t start = placeholderEnd + 2, end = std::min(pathTemplate.find(u'\\', start), pathTemplate.size());
  std::u16string name = pathTemplate.substr(start, end - start);
  if (name.empty() || name.find_first_of(u"{}") != std::u16string::npos) return std::nullopt;
  return utf16ToUtf8(name);
}

bool isGenericFolderName(const std::string& name) {
  std::string key = lowerAscii(name);
  return std::any_of(std::begin(GENERIC_FOLDER_NAMES), std::end(GENERIC_FOLDER_NAMES),
                     [&](const char* generic) { return key == generic; });
}

void warnAboutGenericFolderName(const std::string& name, bool fromTemplate) {
  std::string instead = fromTemplate ? std::string("put ") + WHOSE_NAME + " in --template"
                                     : std::string("pass ") + WHOSE_NAME + " (for example " + EXAMPLE_NAME + ")";
  printText(stderr,
            "onefile-pack: warning: the cache folder's name %s is generic: another vendor's program of that name "
            "would share its folder; %s\n",
            displayName(name).c_str(), instead.c_str());
}

}  // namespace onefile
