// onefile-pack info FILE
// What a user needs to find and check a build: its name and version and
// where each came from, its kind, the cache folder, the flags, the payload's
// sizes and the signer. Where a value came from is not stored: it is told by
// comparing the value with what the main program (the payload's first file)
// gives and with the defaults, so a value given as an option that equals the
// main program's own is shown as the main program's.
#include <cinttypes>
#include <cstdio>
#include <cstring>
#include <optional>

#include "executable/main-program.h"
#include "host/counted-text.h"
#include "host/mapped-file.h"
#include "host/pack-error.h"
#include "host/text-output.h"
#include "host/utf.h"
#include "onefile-pack/build-defaults.h"
#include "onefile-pack/first-start-options.h"
#include "onefile-pack/command-line.h"
#include "onefile-pack/commands.h"
#include "onefile-pack/template-check.h"
#include "payload-io/payload-file.h"
#include "payload-io/payload-locator.h"
#include "pe-image/authenticode.h"
#include "pe-image/program-traits.h"
#include "resources/attached.h"

namespace onefile {
namespace {

// The column the values start in.
constexpr int LABEL_WIDTH = 14;

struct AttachedData {
  uint32_t flags = 0;
  std::u16string pathTemplate, version, name;
};

// A zero-terminated UTF-16LE text at offset in the section; nullopt when it
// runs past the section's end.
std::optional<std::u16string> sectionText(const unsigned char* section, size_t size, uint64_t offset) {
  std::u16string text;
  for (uint64_t at = offset; at + 1 < size; at += 2) {
    char16_t unit = static_cast<char16_t>(section[at] | section[at + 1] << 8);
    if (unit == 0) return text;
    text.push_back(unit);
  }
  return std::nullopt;
}

std::optional<AttachedData> readAttachedData(const MappedFile& file) {
  std::optional<SectionBytes> section = attachedSection(file.data(), file.size());
  alignas(AttachedDataHeader) unsigned char copy[ATTACHED_HEADER_SIZE];
  if (!section || section->size < sizeof copy) return std::nullopt;
  const unsigned char* bytes = file.data() + section->offset;
  std::memcpy(copy, bytes, sizeof copy);
  const AttachedDataHeader* header;
  if (!findAttachedDataHeader(copy, section->size, &header)) return std::nullopt;
  std::optional<std::u16string> pathTemplate = sectionText(bytes, section->size, header->templateOffset);
  std::optional<std::u16string> version = sectionText(bytes, section->size, header->versionOffset);
  std::optional<std::u16string> name = sectionText(bytes, section->size, header->nameOffset);
  if (!pathTemplate || !version || !name) return std::nullopt;
  return AttachedData{header->flags, *pathTemplate, *version, *name};
}

// The flags as words; a flag this tool does not know is shown by its value.
// The links between versions have a line of their own, "updates:".
std::string flagsText(uint32_t flags) {
  flags &= ~ATTACHED_FLAG_LINKS_BETWEEN_VERSIONS;
  struct Flag {
    uint32_t bit;
    const char* shown;
  };
  constexpr Flag FLAGS[] = {
      {ATTACHED_FLAG_PROGRESS_WINDOW, "progress window (--progress-window)"},
      {ATTACHED_FLAG_REMOVE_OLD_VERSIONS, "old versions removed (--remove-old-versions)"},
  };
  std::string text;
  for (const Flag& flag : FLAGS) {
    if ((flags & flag.bit) == 0) continue;
    text += (text.empty() ? "" : ", ") + std::string(flag.shown);
    flags &= ~flag.bit;
  }
  if (attachedCloseThreads(flags) != 0) {
    text += (text.empty() ? "" : ", ") + std::string("files closed ") + closeThreadsText(flags) + " (--close-threads)";
    flags &= ~ATTACHED_CLOSE_THREADS_MASK;
  }
  if (flags != 0) {
    char unknown[32];
    std::snprintf(unknown, sizeof unknown, "0x%" PRIx32, flags);
    text += (text.empty() ? "unknown " : ", unknown ") + std::string(unknown);
  }
  return text.empty() ? "none" : text;
}

bool caseInsensitiveAsciiEqual(std::u16string_view a, std::u16string_view b) {
  if (a.size() != b.size()) return false;
  auto lower = [](char16_t unit) { return unit >= u'A' && unit <= u'Z' ? static_cast<char16_t>(unit + 32) : unit; };
  for (size_t i = 0; i < a.size(); ++i)
    if (lower(a[i]) != lower(b[i])) return false;
  return true;
}

// The template as a user's machine would expand it, where that is the same
// for every start: the user's folders as the variables that name them.
std::string cacheFolderText(const std::u16string& pathTemplate, const std::u16string& version) {
  struct Known {
    const char16_t* placeholder;
    std::u16string shown;
  };
  const Known KNOWN[] = {{u"{CACHE_DIR}", u"%LOCALAPPDATA%"}, {u"{HOME}", u"%USERPROFILE%"},
                         {u"{TEMP}", u"%TEMP%"},              {u"{VERSION}", version},
                         {u"{FILE_VERSION}", version},        {u"{PRODUCT_VERSION}", version}};
  std::u16string folder;
  for (size_t at = 0; at < pathTemplate.size();) {
    const Known* match = nullptr;
    for (const Known& known : KNOWN) {
      std::u16string_view placeholder(known.placeholder);
      std::u16string_view here = std::u16string_view(pathTemplate).substr(at, placeholder.size());
      if (caseInsensitiveAsciiEqual(here, placeholder)) match = &known;
    }
    if (match == nullptr) {
      folder.push_back(pathTemplate[at++]);
      continue;
    }
    folder += match->shown;
    at += std::u16string_view(match->placeholder).size();
  }
  return displayName(utf16ToUtf8(folder));
}

void printField(const char* label, const std::string& value) {
  printText(stdout, "%-*s%s\n", LABEL_WIDTH, label, value.c_str());
}

struct Contents {
  uint64_t files = 0, bytes = 0;
};

// The indexes hold every file's size; a payload without them says its
// unpacked size nowhere else, and every record is read (and so decompressed).
Contents payloadContents(const PayloadFile& payload, const std::string& shown) {
  Contents contents;
  try {
    if (std::optional<IndexedContents> indexed = payload.contentsFromIndexes())
      return Contents{indexed->files, indexed->contentBytes};
    std::unique_ptr<DecodedStream> stream = payload.openStream();
    RecordReader reader(*stream);
    while (std::optional<RecordEntry> record = reader.next()) {
      reader.readContent(record->size, [](const unsigned char*, size_t) {});
      contents.files += 1;
      contents.bytes += record->size;
    }
  } catch (const PayloadDamage& damage) {
    throw PackError(shown, std::string("damaged payload: ") + damage.what() + " (onefile-pack list shows where)");
  }
  return contents;
}

// What the main program gives, or nothing when it gives nothing usable.
std::optional<ProgramDefaults> mainProgramDefaults(const std::filesystem::path& path, const std::string& shown) {
  try {
    return programDefaults(mainProgramInPayload(path, shown));
  } catch (const PackError&) {
    return std::nullopt;
  }
}

std::string nameSource(const std::string& name, const std::optional<ProgramDefaults>& carried) {
  if (carried && name == carried->name) return "from " + carried->source + "'s file name";
  if (carried && name == carried->product) return "from " + carried->source + "'s product name";
  if (name == DEFAULT_NAME) return "the default";
  return "given with --name";
}

std::string versionSource(const std::string& version, const std::optional<ProgramDefaults>& carried,
                          const std::u16string& pathTemplate) {
  if (carried && !carried->version.empty() && version == carried->version)
    return "from " + carried->source + "'s file version";
  if (version == DEFAULT_VERSION && (!carried || carried->version.empty()))
    return templateNamesVersion(pathTemplate)
               ? "the default: every build of this name without --version shares its cache folder"
               : "the default";
  return "given with --version";
}

// The level the executable's own manifest asks for, and whether the main
// program's asks for the same.
std::string executionLevelText(const ProgramTraits& traits, const std::optional<ProgramDefaults>& carried) {
  ExecutionLevel level = traits.executionLevel.value_or(ExecutionLevel::asInvoker);
  bool carriesOne = carried && carried->executionLevel;
  std::string source = carriesOne && carried->executionLevel == level                ? "from " + carried->source + "'s manifest"
                       : !carriesOne && level == ExecutionLevel::asInvoker ? "the default"
                                                                           : "given with --execution-level";
  return std::string(executionLevelName(level)) + " (" + source + ")";
}

void printExecutableInfo(const MappedFile& file, const AttachedData& attached, const std::filesystem::path& path,
                         const std::string& shown) {
  std::optional<ProgramDefaults> carried = mainProgramDefaults(path, shown);
  std::string name = utf16ToUtf8(attached.name), version = utf16ToUtf8(attached.version);
  printField("name:", displayName(name) + " (" + nameSource(name, carried) + ")");
  printField("version:", displayName(version) + " (" + versionSource(version, carried, attached.pathTemplate) + ")");
  ProgramTraits traits = readProgramTraits(file.data(), file.size(), shown);
  printField("kind:", traits.subsystem == SUBSYSTEM_CONSOLE ? "console program"
                      : traits.subsystem == SUBSYSTEM_GUI   ? "GUI program"
                                                            : "subsystem " + std::to_string(traits.subsystem));
  printField("elevation:", executionLevelText(traits, carried));
  printField("template:", displayName(utf16ToUtf8(attached.pathTemplate)));
  printField("cache folder:", cacheFolderText(attached.pathTemplate, attached.version));
  printField("flags:", flagsText(attached.flags));
  printField("updates:", linksBetweenVersionsText(attached.flags));
}

}  // namespace

int runInfoCommand(const Arguments& arguments) {
  ParsedArguments parsed = parseArguments(arguments, noOptions());
  if (parsed.positional.size() != 1) throw UsageError("expects exactly one executable or payload file");
  std::filesystem::path path = std::filesystem::u8path(parsed.positional[0]);
  std::string shown = displayName(parsed.positional[0]);
  PayloadFile payload(path);
  MappedFile file(path);
  std::optional<AttachedData> attached = payload.location().embedded ? readAttachedData(file) : std::nullopt;
  bool embedded = payload.location().embedded;
  printText(stdout, "%s: %s of %s%s\n", shown.c_str(), embedded ? "executable" : "payload file",
            sizeText(file.size()).c_str(),
            embedded && !attached ? ", whose name, version and path template cannot be read (damaged)" : "");
  if (attached) printExecutableInfo(file, *attached, path, shown);
  Contents contents = payloadContents(payload, shown);
  printField("payload:", sizeText(payload.location().length) + " packed, " + sizeText(contents.bytes) + " in " +
                             countedText(contents.files, "file") + " unpacked");
  if (attached) printField("signature:", signatureText(certificateTable(ByteView(file.data(), file.size()))));
  return EXIT_OK;
}

}  // namespace onefile
