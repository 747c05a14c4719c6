// onefile-pack build APP_DIR --main REL -o OUT.exe [options]
// onefile-pack build --payload FILE -o OUT.exe [options]
//
// Writes the finished executable from the prebuilt bootstrap that this tool
// carries: no compiler, linker or resource compiler is involved. What no
// option gives is taken from the main program: its subsystem, name, version,
// icon and version texts. Everything is checked before anything is written.
#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstring>
#include <memory>
#include <optional>

#include "executable/application-resources.h"
#include "onefile-pack/build-defaults.h"
#include "onefile-pack/cache-folder-name.h"
#include "onefile-pack/execution-level-option.h"
#include "onefile-pack/first-start-options.h"
#include "onefile-pack/code-signer.h"
#include "onefile-pack/command-line.h"
#include "host/counted-text.h"
#include "onefile-pack/commands.h"
#include "diag/limits.h"
#include "executable/embedded-files.h"
#include "executable/executable-writer.h"
#include "onefile-pack/folder-options.h"
#include "host/host-system.h"
#include "executable/main-program.h"
#include "host/pack-error.h"
#include "payload-io/payload-file.h"
#include "payload-io/payload-locator.h"
#include "payload-io/payload-names.h"
#include "payload-io/payload-writer.h"
#include "payload-io/read-back-check.h"
#include "payload/format.h"
#include "payload-io/windows-names.h"
#include "onefile-pack/output-check.h"
#include "onefile-pack/target-length.h"
#include "onefile-pack/sign-options.h"
#include "onefile-pack/template-check.h"
#include "paths/version-folder.h"
#include "host/text-output.h"
#include "host/utf.h"
#include "pe-image/version-resource.h"

namespace onefile {
namespace {

constexpr size_t COPY_CHUNK = 1 << 20;

const std::vector<OptionDefinition> BUILD_OPTIONS = {
    {{"-o", "--output"}, "output", "OUT.exe", "the executable to write (replaced if it exists)"},
    {{"--payload"}, "payload", "FILE",
     "instead of a folder, embed a payload written by onefile-pack payload, byte for byte"},
    {{"--name"}, "name", "NAME",
     "the application's name: the cache folder's name and the version resource's names (default: the main "
     "program's file name without .exe; with --remove-old-versions, its product name)"},
    {{"--version"}, "version", "X.Y.Z",
     "up to four dot-separated numbers, then optionally a prerelease and build part as SemVer has them "
     "(2.1.0-beta.3+7) (default: the main program's file version, else 1.7.0): the {VERSION} of the cache folder "
     "and the product version text, whole; the file version, its numbers with .0 added (1.7.0.0)"},
    {{"--template"}, "template", "T",
     "the cache folder's path template (default {CACHE_DIR}\\<name>\\{VERSION}); its placeholders are in "
     "the guide's Path templates"},
    {{"--icon"}, "icon", "FILE.ico",
     "the icon of the executable (default: the main program's first icon, else the project's own)"},
    {{"--company"}, "company", "T",
     "the company in the version resource (Explorer: Properties, Details; default: the main program's "
     "CompanyName)"},
    {{"--description"}, "description", "T",
     "the file description in the version resource (default: the main program's FileDescription)"},
    {{"--product"}, "product", "T",
     "the product name in the version resource (default: the main program's ProductName)"},
    {{"--copyright"}, "copyright", "T",
     "the copyright notice in the version resource (default: the main program's LegalCopyright)"},
    {{"--console"}, "console", "",
     "make a console program, which cmd waits for (default: the main program's own kind)"},
    {{"--windows"}, "windows", "", "make a GUI program, which cmd does not wait for"},
    executionLevelOption(),
    {{"--progress-window"}, "progress-window", "",
     "show a small window with the unpacking's progress when a first start takes more than half a second "
     "(GUI programs only)"},
    {{"--remove-old-versions"}, "remove-old-versions", "",
     "once the program runs, remove the cache folders of its older versions (see the guide)"},
    closeThreadsOption(),
    noLinksBetweenVersionsOption(),
    quietOption(),
    // Compiles template, version and payload in as given, and reads nothing
    // from the main program: for test bootstraps that are meant to fail only
    // when they run.
    {{"--unchecked"}, "unchecked", "",
     "take --template, --version and a --payload as given, unchecked, and read nothing from the main program: "
     "only for making test executables that are meant to fail when they start"},
};

struct BuildRequest {
  std::filesystem::path output;
  std::optional<std::filesystem::path> payloadFile;
  std::optional<FolderRequest> folder;
  ApplicationIdentity identity;
  uint16_t subsystem = SUBSYSTEM_GUI;
  ExecutionLevel executionLevel = ExecutionLevel::asInvoker;
  ProgramDefaults carried;
  std::u16string pathTemplate, versionText;
  size_t targetFolderUnits = 0;  // estimated from the template
  std::vector<IconImage> icon;
  bool quiet = false, unchecked = false, progressWindow = false, removeOldVersions = false;
  unsigned closeThreads = 0;
  bool linksBetweenVersions = true;
  std::optional<SigningRequest> signing;
};

// Templates that lead into the user's own folders. Any other (a drive or a
// share, {PROGRAM_DIR}, a relative path) may name a folder that other users
// can write, where a CRC-32, which catches damage and not tampering, would
// not notice a changed program or a library put beside it.
constexpr const char16_t* PER_USER_TEMPLATE_STARTS[] = {u"{CACHE_DIR}", u"{HOME}", u"{TEMP}"};

bool leadsIntoUsersOwnFolder(const std::u16string& pathTemplate) {
  for (const char16_t* start : PER_USER_TEMPLATE_STARTS)
    if (pathTemplate.rfind(start, 0) == 0) return true;
  return false;
}

std::u16string wideText(const std::string& spelling, const std::string& text) {
  std::optional<std::u16string> wide = utf8ToUtf16(text);
  if (!wide) throw OptionError(spelling, "'" + displayName(text) + "' is not UTF-8 text");
  return *wide;
}

std::string checkedText(const ParsedArguments& parsed, const std::string& key) {
  std::string text = parsed.value(key).value_or("");
  if (std::optional<std::string> problem = versionTextProblem(wideText("--" + key, text)))
    throw OptionError("--" + key, *problem);
  return text;
}

// Without --name, the main program's file name; but a removal of older
// versions needs a name of the application's own, which a file name alone is
// not: another vendor's app.exe would share the folder, and lose its versions.
std::string defaultName(const ParsedArguments& parsed, const BuildRequest& request) {
  if (request.removeOldVersions && !request.unchecked && !parsed.has("template"))
    return nameForOldVersionRemoval(request.carried);
  return request.carried.name.empty() ? DEFAULT_NAME : request.carried.name;
}

void readNameAndVersion(const ParsedArguments& parsed, BuildRequest* request) {
  request->identity.name = parsed.has("name") ? checkedText(parsed, "name") : defaultName(parsed, *request);
  // The name is a folder of the default template and the executable's own name.
  std::u16string name = wideText("--name", request->identity.name);
  const std::string pass = parsed.has("name") ? "" : " (taken from the main program's name; pass --name)";
  if (name.empty()) throw OptionError("--name", "is empty" + pass);
  if (std::optional<std::string> problem = componentProblem(name)) throw OptionError("--name", *problem + pass);

  std::string carriedVersion = request->carried.version.empty() ? DEFAULT_VERSION : request->carried.version;
  std::string version = parsed.value("version").value_or(carriedVersion);
  request->versionText = wideText("--version", version);
  if (std::optional<std::string> problem = versionFolderProblem(version); problem && !request->unchecked)
    throw OptionError("--version", "'" + displayName(version) + "' " + *problem);
  std::optional<std::array<uint16_t, 4>> numbers = parseVersionNumbers(version);
  if (numbers) request->identity.version = *numbers;
  else if (!request->unchecked)
    throw OptionError("--version", "'" + displayName(version) + "' " + VERSION_FORM);
  if (numbers && hasPrereleaseOrBuild(version)) request->identity.versionText = version;

  std::string defaultTemplate = "{CACHE_DIR}\\" + request->identity.name + "\\{VERSION}";
  request->pathTemplate = wideText("--template", parsed.value("template").value_or(defaultTemplate));
  if (!request->unchecked)
    if (std::optional<std::string> problem = templateProblem(request->pathTemplate))
      throw OptionError("--template", *problem);
}

bool startsAsPayload(const std::filesystem::path& path) {
  MappedFile bytes(path);
  return bytes.size() >= PAYLOAD_MAGIC_SIZE && std::memcmp(bytes.data(), PAYLOAD_MAGIC, PAYLOAD_MAGIC_SIZE) == 0;
}

// Reads the main program for what no option gives; a program Windows could
// not start is refused here. --unchecked reads nothing. A file that is no
// payload at all is refused later, after its size.
void readMainProgram(const ParsedArguments& parsed, BuildRequest* request) {
  if (parsed.has("console") && parsed.has("windows")) throw OptionError("--windows", "cannot be given with --console");
  if (!request->unchecked) {
    std::optional<MainProgram> program;
    if (request->payloadFile && startsAsPayload(*request->payloadFile)) {
      std::string shown = displayName(request->payloadFile->u8string());
      checkPayloadNames(PayloadFile(*request->payloadFile), shown);
      program = mainProgramInPayload(*request->payloadFile, shown);
    } else if (request->folder) {
      program = mainProgramInFolder(request->folder->root, request->folder->mainProgram);
    }
    if (program) request->carried = programDefaults(*program);
  }
  if (request->carried.subsystem != 0) request->subsystem = request->carried.subsystem;
  if (parsed.has("console")) request->subsystem = SUBSYSTEM_CONSOLE;
  if (parsed.has("windows")) request->subsystem = SUBSYSTEM_GUI;
}

std::string carriedOr(const ParsedArguments& parsed, const std::string& key, const std::string& carried) {
  return parsed.has(key) ? checkedText(parsed, key) : carried;
}

BuildRequest requestFrom(const ParsedArguments& parsed) {
  BuildRequest request;
  request.quiet = parsed.has("quiet");
  request.unchecked = parsed.has("unchecked");
  request.progressWindow = parsed.has("progress-window");
  request.removeOldVersions = parsed.has("remove-old-versions");
  request.closeThreads = closeThreadsFrom(parsed);
  request.linksBetweenVersions = linksBetweenVersionsFrom(parsed);
  request.signing = signingRequestFrom(parsed);
  if (parsed.has("payload")) {
    if (!parsed.positional.empty()) throw UsageError("takes an application folder or --payload, not both");
    for (const OptionDefinition& option : FOLDER_OPTIONS)
      if (parsed.has(option.key))
        throw UsageError(option.spellings.front() + " is for an application folder, not --payload");
    request.payloadFile = std::filesystem::u8path(*parsed.value("payload"));
  } else if (parsed.positional.empty()) {
    throw UsageError("the application folder is missing (or --payload FILE)");
  } else if (parsed.positional.size() != 1) {
    throw UsageError("expects exactly one application folder (or --payload FILE)");
  }
  std::string output = parsed.required("output", "-o");
  checkOutputPath(output, "-o");
  request.output = std::filesystem::u8path(output);
  if (!request.payloadFile) request.folder = folderRequestFrom(parsed, std::filesystem::u8path(parsed.positional[0]));
  for (const char* key : {"name", "company", "description", "product", "copyright"}) checkedText(parsed, key);
  readMainProgram(parsed, &request);
  request.executionLevel = executionLevelFrom(parsed).value_or(
      request.carried.executionLevel.value_or(ExecutionLevel::asInvoker));
  if (request.progressWindow && request.subsystem == SUBSYSTEM_CONSOLE)
    throw OptionError("--progress-window", "is for GUI programs: a console program's user sees its console wait");
  readNameAndVersion(parsed, &request);
  // The template tells how long the folder that names go under may become.
  request.targetFolderUnits = estimatedTargetFolderLength(request.pathTemplate, request.versionText.size());
  if (request.folder && !parsed.has("cache-folder-length")) request.folder->cacheFolderUnits = request.targetFolderUnits;
  request.identity.company = carriedOr(parsed, "company", request.carried.company);
  request.identity.description = carriedOr(parsed, "description", request.carried.description);
  request.identity.product = carriedOr(parsed, "product", request.carried.product);
  request.identity.copyright = carriedOr(parsed, "copyright", request.carried.copyright);
  if (std::optional<std::string> icon = parsed.value("icon"))
    request.icon = parseIconFile(readWholeFile(std::filesystem::u8path(*icon), displayName(*icon)), displayName(*icon));
  else if (!request.carried.icon.empty())
    request.icon = request.carried.icon;
  else
    request.icon = defaultIcon();
  return request;
}

bool isExecutableName(const std::string& name) {
  constexpr char SUFFIX[] = ".exe";
  if (name.size() < 4) return false;
  for (size_t i = 0; i < 4; ++i)
    if (std::tolower(static_cast<unsigned char>(name[name.size() - 4 + i])) != SUFFIX[i]) return false;
  return true;
}

// The folder's files but the output itself, which a rebuild into the folder
// would otherwise carry along, the last build inside the next; another
// executable made by this tool that the folder holds is named in a warning.
std::vector<FolderFile> folderFilesBut(std::vector<FolderFile> files, const std::filesystem::path& output) {
  std::error_code error;
  auto isOutput = [&](const FolderFile& file) { return std::filesystem::equivalent(file.source, output, error); };
  if (isOutput(files.front())) throw OptionError("-o", "names the main program, which the executable must carry");
  files.erase(std::remove_if(files.begin(), files.end(), isOutput), files.end());
  // The main program is packed as it is by choice.
  for (const FolderFile& file : files) {
    if (&file == &files.front() || file.size == 0 || !isExecutableName(file.relative)) continue;
    MappedFile bytes(file.source);
    std::optional<PayloadLocation> payload = locatePayload(bytes.data(), bytes.size());
    if (payload && payload->embedded)
      printText(stderr, "onefile-pack: warning: %s is itself an executable made by onefile-pack; it is packed as it is\n",
                displayName(file.relative).c_str());
  }
  return files;
}

// A ready payload, copied byte for byte after the checks.
uint64_t copyPayload(const BuildRequest& request, ExecutableWriter& writer) {
  std::string shown = displayName(request.payloadFile->u8string());
  std::error_code error;
  uint64_t size = std::filesystem::file_size(*request.payloadFile, error);
  if (error) throw PackError(shown, "cannot read the payload: " + error.message());
  if (size > writer.maxPayloadSize())
    throw PackError(shown, "the payload of " + std::to_string(size) + " bytes is larger than the " +
                               std::to_string(writer.maxPayloadSize()) +
                               " bytes an executable can carry: " + imageSizeLimitReason());
  MappedFile bytes(*request.payloadFile);
  // Its names were checked with the main program that it starts.
  if (!request.unchecked && !startsAsPayload(*request.payloadFile))
    throw PackError(shown, "not a payload file (which starts with \"ZBX\")");
  for (size_t done = 0; done < bytes.size(); done += COPY_CHUNK)
    writer.payload().write(bytes.data() + done, std::min(COPY_CHUNK, bytes.size() - done));
  return bytes.size();
}

// Where each property of the executable came from, as the options that set
// them, so that the user sees what to pass: "from 7za.exe: --console --name
// 7za ...; given: --icon; default: --copyright".
std::string sourcesText(const ParsedArguments& parsed, const BuildRequest& request) {
  const ProgramDefaults& carried = request.carried;
  const ApplicationIdentity& identity = request.identity;
  std::string fromProgram, given, fallback;
  auto add = [&](bool isGiven, bool isCarried, const std::string& option) {
    (isGiven ? given : isCarried ? fromProgram : fallback) += " " + option;
  };
  // A text as it would be passed: quoted where it holds a space.
  auto valued = [](const std::string& option, const std::string& value) {
    if (value.empty()) return option;
    std::string shown = displayName(value);
    return option + (shown.find(' ') == std::string::npos ? " " + shown : " \"" + shown + "\"");
  };
  add(parsed.has("console") || parsed.has("windows"), carried.subsystem != 0,
      request.subsystem == SUBSYSTEM_CONSOLE ? "--console" : "--windows");
  add(parsed.has("name"), !carried.name.empty(), "--name " + displayName(identity.name));
  add(parsed.has("version"), !carried.version.empty(), "--version " + displayName(utf16ToUtf8(request.versionText)));
  // asInvoker, as Windows takes any program without a manifest, goes unsaid.
  if (parsed.has("execution-level") || request.executionLevel != ExecutionLevel::asInvoker)
    add(parsed.has("execution-level"), true,
        std::string("--execution-level ") + executionLevelName(request.executionLevel));
  add(parsed.has("icon"), !carried.icon.empty(), "--icon");
  add(parsed.has("company"), !carried.company.empty(), valued("--company", identity.company));
  add(parsed.has("description"), !carried.description.empty(), valued("--description", identity.description));
  add(parsed.has("product"), !carried.product.empty(), valued("--product", identity.product));
  add(parsed.has("copyright"), !carried.copyright.empty(), valued("--copyright", identity.copyright));
  std::string text;
  if (!fromProgram.empty()) text += "; from " + carried.source + ":" + fromProgram;
  if (!given.empty()) text += "; given:" + given;
  if (!fallback.empty()) text += "; default:" + fallback;
  return text;
}

// A ready payload's files are carried as they are: only the executable is signed.
void printSigningSummary(const CodeSigner& signer, const std::optional<SignedFiles>& files) {
  std::string by = signer.signerName().empty() ? "" : " by " + displayName(signer.signerName());
  if (!files) {
    printText(stdout, "signed%s: the executable; the payload's files as they were\n", by.c_str());
    return;
  }
  std::string leftUnsigned = files->leftUnsigned == 0 ? "" : "; " + countedText(files->leftUnsigned, "file") +
                                                               " left unsigned (data after the image)";
  printText(stdout, "signed%s: the executable and %s inside it; %s already signed, kept as %s%s\n", by.c_str(),
            countedText(files->signedHere, "program or library file").c_str(),
            countedText(files->alreadySigned, "file").c_str(), files->alreadySigned == 1 ? "it was" : "they were",
            leftUnsigned.c_str());
}

}  // namespace

// The folder's options first, as a folder is the common case; signing's last.
std::vector<OptionDefinition> buildOptions() {
  std::vector<OptionDefinition> options = FOLDER_OPTIONS;
  options.insert(options.end(), BUILD_OPTIONS.begin(), BUILD_OPTIONS.end());
  options.insert(options.end(), SIGN_OPTIONS.begin(), SIGN_OPTIONS.end());
  return options;
}

void warnAboutOutputName(const BuildRequest& request) {
  if (!isExecutableName(request.output.filename().u8string()))
    printText(stderr, "onefile-pack: warning: %s does not end in .exe, so Explorer and cmd will not start it as a program\n",
              displayName(request.output.u8string()).c_str());
}

// Said of a finished build: two different programs of one name, neither
// with a version, would unpack into one folder, over each other's files.
// Where the template has no version in it, the folder is shared whatever the
// version, and what the default gives every such build is the version
// resource's number.
void warnAboutDefaultedVersion(const ParsedArguments& parsed, const BuildRequest& request) {
  if (request.carried.source.empty() || parsed.has("version") || !request.carried.version.empty()) return;
  if (templateNamesVersion(request.pathTemplate))
    printText(stderr,
              "onefile-pack: warning: no --version given and %s has no file version: every such build named %s "
              "unpacks into the one cache folder of version %s, over another's files; pass --version\n",
              request.carried.source.c_str(), displayName(request.identity.name).c_str(), DEFAULT_VERSION);
  else
    printText(stderr,
              "onefile-pack: warning: no --version given and %s has no file version: the executable's version "
              "resource says %s, as every such build's does; pass --version (the template has no {VERSION}, so "
              "every build of it shares its one cache folder whatever its version)\n",
              request.carried.source.c_str(), DEFAULT_VERSION);
}

// A folder name that other vendors' programs use too, whether it comes from
// the name or from a given template.
void warnAboutGenericName(const ParsedArguments& parsed, const BuildRequest& request) {
  if (request.unchecked) return;
  bool fromTemplate = parsed.has("template");
  std::optional<std::string> folder =
      fromTemplate ? applicationFolderName(request.pathTemplate) : std::optional<std::string>(request.identity.name);
  if (folder && isGenericFolderName(*folder)) warnAboutGenericFolderName(*folder, fromTemplate);
}

int runBuildCommand(const Arguments& arguments) {
  ParsedArguments parsed = parseArguments(arguments, buildOptions());
  BuildRequest request = requestFrom(parsed);
  warnAboutOutputName(request);
  warnAboutGenericName(parsed, request);
  // Not refused: the allowances are generous, and most machines' folders
  // are far shorter than they allow for.
  if (request.targetFolderUnits >= PATH_CAPACITY)
    printText(stderr,
                 "onefile-pack: warning: the path template may expand to %zu code units on some machines; the "
                 "bootstrap's target folder holds at most %u\n",
                 request.targetFolderUnits, PATH_CAPACITY - 1);
  if (!request.unchecked && !leadsIntoUsersOwnFolder(request.pathTemplate))
    printText(stderr,
              "onefile-pack: warning: the path template does not start with {CACHE_DIR}, {HOME} or {TEMP}: "
              "other users may be able to change what the executable starts there\n");
  if (request.removeOldVersions && !templateEndsInVersionFolder(request.pathTemplate.data(), request.pathTemplate.size()))
    printText(stderr,
              "onefile-pack: warning: --remove-old-versions does nothing with this template: only one ending in "
              "\\<name>\\{VERSION} has the older versions' folders beside its own\n");
  std::string stubBytes(embeddedFile(onefileStub, onefileStubEnd));
  // The key is tried on the bootstrap first: a wrong password or key stops
  // the build before the folder is read.
  std::optional<CodeSigner> signer;
  if (request.signing) signer.emplace(*request.signing, stubBytes);
  std::vector<FolderFile> files;
  if (request.folder) files = folderFilesBut(scanRequestedFolder(*request.folder), request.output);
  std::optional<SignedFiles> signedFiles;
  if (signer && request.folder) {
    std::unique_ptr<TerminalProgressBar> bar = request.quiet ? nullptr : TerminalProgressBar::ifWatched(stderr, "Signing");
    signedFiles = signer->signFolderFiles(&files, static_cast<unsigned>(request.folder->settings.threads), bar.get());
  }

  StubImage stub(stubBytes, "the built-in bootstrap");
  ExecutableContent content{request.pathTemplate, request.versionText,
                            wideText("--name", request.identity.name),
                            applicationResources(request.identity, request.icon, request.executionLevel), request.subsystem,
                            request.progressWindow, request.removeOldVersions, request.closeThreads,
                            request.linksBetweenVersions};
  ExecutableWriter writer(stub, content, request.output);
  PackSummary summary;
  if (request.folder) {
    std::unique_ptr<TerminalProgressBar> bar = request.quiet ? nullptr : TerminalProgressBar::ifWatched(stderr);
    summary = writePayload(files, request.folder->settings, writer.payload(), bar.get());
  } else {
    summary.payloadBytes = copyPayload(request, writer);
  }
  ExecutableWriter::FinalStep signOutput;
  if (signer)
    signOutput = [&](const std::filesystem::path& finished) {
      return signer->signExecutable(finished, request.output);
    };
  // What was packed here is read back before it is kept; a ready payload was read before it was copied.
  ExecutableWriter::Inspection readBack;
  std::unique_ptr<TerminalProgressBar> checking =
      request.quiet ? nullptr : TerminalProgressBar::ifWatched(stderr, "Checking");
  if (request.folder)
    readBack = [&](const std::filesystem::path& finished) {
      checkReadBack(finished, summary, displayName(request.output.u8string()), checking.get());
    };
  uint64_t size = writer.finish(signOutput, readBack);
  warnAboutDefaultedVersion(parsed, request);
  if (!request.quiet) {
    printText(stdout, "%s: executable of %s, payload of %s%s\n", displayName(request.output.u8string()).c_str(),
              sizeText(size).c_str(), sizeText(summary.payloadBytes).c_str(), sourcesText(parsed, request).c_str());
    if (signer) printSigningSummary(*signer, signedFiles);
  }
  return EXIT_OK;
}

}  // namespace onefile
