#include "executable/main-program.h"

#include <cstdio>

#include "host/host-system.h"
#include "host/pack-error.h"
#include "payload-io/payload-file.h"
#include "pe-image/pe-layout.h"
#include "pe-image/program-traits.h"
#include "payload-io/windows-names.h"
#include "host/text-output.h"
#include "host/utf.h"
#include "pe-image/version-resource.h"

namespace onefile {
namespace {

constexpr char EXE_EXTENSION[] = ".exe";

void warn(const std::string& shown, const std::string& text) {
  printText(stderr, "onefile-pack: warning: %s: %s\n", shown.c_str(), text.c_str());
}

// The program's own name, less its extension: what the cache folder is called.
std::string nameOf(const std::string& fileName) {
  if (!hasExeExtension(std::string_view(fileName))) return fileName;
  return fileName.substr(0, fileName.size() - (sizeof EXE_EXTENSION - 1));
}

// A text the version resource takes as an option would; anything else is
// left out, with a warning.
std::string usableText(const std::string& shown, const char* field, const std::string& text) {
  std::optional<std::u16string> wide = utf8ToUtf16(text);
  std::optional<std::string> problem = wide ? versionTextProblem(*wide) : "is not UTF-8 text";
  if (!problem) return text;
  warn(shown, std::string("its ") + field + " is left out: it " + *problem);
  return "";
}

}  // namespace

std::optional<MainProgram> mainProgramInFolder(const std::filesystem::path& root, const std::string& relative) {
  std::filesystem::path path = root / std::filesystem::u8path(relative);
  std::error_code error;
  if (!std::filesystem::is_regular_file(path, error)) return std::nullopt;
  MainProgram program;
  program.shownName = displayName(path.u8string());
  program.fileName = path.filename().u8string();
  program.bytes = readWholeFile(path, program.shownName);
  return program;
}

MainProgram mainProgramInPayload(const std::filesystem::path& payload, const std::string& shown) {
  PayloadFile file(payload);
  std::unique_ptr<DecodedStream> stream = file.openStream();
  RecordReader reader(*stream);
  MainProgram program;
  try {
    std::optional<RecordEntry> first = reader.next();
    if (!first) throw PackError(shown, "the payload holds no file to start");
    program.fileName = utf16ToUtf8(first->name);
    reader.readContent(first->size, [&](const unsigned char* bytes, size_t size) {
      program.bytes.append(reinterpret_cast<const char*>(bytes), size);
    });
  } catch (const PayloadDamage& damage) {
    throw PackError(shown, std::string("damaged payload in its first record: ") + damage.what());
  }
  program.shownName = shown + ": " + displayName(program.fileName);
  return program;
}

ProgramDefaults programDefaults(const MainProgram& program) {
  const std::string& shown = program.shownName;
  ProgramTraits traits =
      readProgramTraits(reinterpret_cast<const unsigned char*>(program.bytes.data()), program.bytes.size(), shown);
  for (const std::string& warning : traits.warnings) warn(shown, warning);
  // Native, EFI and other images: CreateProcess refuses them, so no
  // executable could ever start one.
  if (traits.subsystem != SUBSYSTEM_GUI && traits.subsystem != SUBSYSTEM_CONSOLE)
    throw PackError(shown, "its subsystem is " + std::to_string(traits.subsystem) +
                               ", neither a console (3) nor a GUI program (2): Windows would not start it");
  ProgramDefaults defaults;
  defaults.source = displayName(program.fileName);
  defaults.subsystem = traits.subsystem;
  defaults.name = nameOf(program.fileName);
  if (traits.fileVersion) defaults.version = fileVersionText(*traits.fileVersion);
  defaults.icon = std::move(traits.icon);
  defaults.executionLevel = traits.executionLevel;
  defaults.company = usableText(shown, "CompanyName", traits.company);
  defaults.description = usableText(shown, "FileDescription", traits.description);
  defaults.product = usableText(shown, "ProductName", traits.product);
  defaults.copyright = usableText(shown, "LegalCopyright", traits.copyright);
  return defaults;
}

}  // namespace onefile
