// onefile-pack: the host-side packer. Each subcommand has an entry in the
// table below; adding one needs no other change here.
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <string>

#include "onefile-pack/command-line.h"
#include "onefile-pack/commands.h"
#include "onefile-pack/help-text.h"
#include "host/pack-error.h"
#include "host/text-output.h"

namespace {

using namespace onefile;

constexpr char TOOL[] = "onefile-pack";
// A folder full of bad names is named by its first few; the user sees the
// pattern, and the count says how many more.
constexpr size_t MAX_REFUSALS_SHOWN = 20;

constexpr char FILE_HELP[] = "an executable built by onefile-pack (signed or not) or a payload file";
constexpr char APP_DIR_HELP[] =
    "the application's folder; every regular file in it and its subfolders is packed. Symbolic links are "
    "followed while they stay inside the folder.";

const Subcommand SUBCOMMANDS[] = {
    {"build", "build APP_DIR --main REL -o OUT.exe [options]\nbuild --payload FILE -o OUT.exe [options]",
     "make the finished executable from an application folder or a payload", {{"APP_DIR", APP_DIR_HELP}},
     buildOptions, runBuildCommand},
    {"payload", "payload APP_DIR --main REL -o FILE [options]", "pack an application folder into a payload file",
     {{"APP_DIR", APP_DIR_HELP}}, payloadOptions, runPayloadCommand},
    {"extract", "extract FILE DIR [--force] [-q]",
     "write the files an executable or a payload carries into a folder, without running anything",
     {{"FILE", FILE_HELP}, {"DIR", "the folder to write them into; made if missing"}}, extractOptions,
     runExtractCommand},
    {"list", "list FILE", "list the records of a payload file or of a built executable", {{"FILE", FILE_HELP}},
     noOptions, runListCommand},
    {"info", "info FILE",
     "show a built executable's name, version and where each came from, its kind, cache folder, flags, payload "
     "and signer",
     {{"FILE", FILE_HELP}}, noOptions, runInfoCommand},
    {"verify", "verify FILE DIR\nverify --signatures FILE",
     "compare a folder (an unpacked cache) with a payload, or list who signed each program and library inside",
     {{"FILE", FILE_HELP}, {"DIR", "the folder to compare, such as an unpacked cache"}}, verifyOptions,
     runVerifyCommand},
    {"notices", "notices",
     "print the third-party notices to ship with the executables it makes", {},
     noOptions, runNoticesCommand},
};
constexpr size_t SUBCOMMAND_COUNT = sizeof SUBCOMMANDS / sizeof SUBCOMMANDS[0];

const Subcommand* findSubcommand(const std::string& name) {
  for (const Subcommand& command : SUBCOMMANDS)
    if (name == command.name) return &command;
  return nullptr;
}

int runReportingFailures(const Subcommand& command, const Arguments& arguments) {
  try {
    return command.run(arguments);
  } catch (const UnknownOption& error) {
    printText(stderr, "%s %s: %s; %s %s --help shows its usage\n", TOOL, command.name, error.what(), TOOL,
              command.name);
    return EXIT_USAGE;
  } catch (const OptionError& error) {
    printText(stderr, "%s %s: %s\n", TOOL, command.name, error.what());
    return EXIT_USAGE;
  } catch (const UsageError& error) {
    printText(stderr, "%s %s: %s\n", TOOL, command.name, error.what());
    printUsageForms(stderr, command);
    return EXIT_USAGE;
  } catch (const RefusedFiles& error) {
    const std::vector<PackError>& refusals = error.refusals();
    for (size_t i = 0; i < refusals.size() && i < MAX_REFUSALS_SHOWN; ++i)
      printText(stderr, "%s: %s\n", TOOL, refusals[i].what());
    if (refusals.size() > MAX_REFUSALS_SHOWN)
      printText(stderr, "%s: and %zu more\n", TOOL, refusals.size() - MAX_REFUSALS_SHOWN);
    printText(stderr, "%s: %s\n", TOOL, error.what());
  } catch (const PackError& error) {
    printText(stderr, "%s: %s\n", TOOL, error.what());
  } catch (const std::filesystem::filesystem_error& error) {
    printText(stderr, "%s: %s: %s\n", TOOL, error.path1().u8string().c_str(), error.code().message().c_str());
  } catch (const std::exception& error) {
    printText(stderr, "%s: %s\n", TOOL, error.what());
  }
  return EXIT_FAILED;
}

}  // namespace

namespace onefile {

int runTool(const Arguments& arguments) {
  if (arguments.empty()) {
    printToolHelp(stderr, SUBCOMMANDS, SUBCOMMAND_COUNT);
    return EXIT_USAGE;
  }
  const std::string& name = arguments[0];
  if (name == "help" || name == "--help" || name == "-h") {
    printToolHelp(stdout, SUBCOMMANDS, SUBCOMMAND_COUNT);
    return EXIT_OK;
  }
  if (name == "--version" || name == "-v") {
    printToolVersion(stdout);
    return EXIT_OK;
  }
  const Subcommand* command = findSubcommand(name);
  if (command == nullptr) {
    printText(stderr, "%s: unknown subcommand '%s'\n", TOOL, name.c_str());
    printToolHelp(stderr, SUBCOMMANDS, SUBCOMMAND_COUNT);
    return EXIT_USAGE;
  }
  Arguments rest(arguments.begin() + 1, arguments.end());
  if (asksForHelp(rest)) {
    printCommandHelp(stdout, *command);
    return EXIT_OK;
  }
  return runReportingFailures(*command, rest);
}

}  // namespace onefile
