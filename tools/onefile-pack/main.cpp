// onefile-pack: the host-side packer. Each subcommand has an entry in the
// table below; adding one needs no other change here.
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <string>

#include "command_line.h"
#include "commands.h"
#include "pack_error.h"

namespace {

using namespace onefile;

constexpr char TOOL[] = "onefile-pack";

const Subcommand SUBCOMMANDS[] = {
    {"payload", "payload APP_DIR --main REL -o FILE [--level N] [--threads N] [--cache-folder-length N]",
     "pack an application folder into a payload file", runPayloadCommand},
    {"build",
     "build (APP_DIR --main REL | --payload FILE) -o OUT.exe [--name NAME] [--version V] [--template T]\n"
     "        [--icon FILE.ico] [--company T] [--description T] [--product T] [--copyright T]\n"
     "        [--level N] [--threads N] [--cache-folder-length N] [-q] [--unchecked]",
     "make the finished executable from an application folder or a payload", runBuildCommand},
    {"list", "list FILE", "list the records of a payload file or of a built executable", runListCommand},
    {"verify", "verify FILE DIR", "compare a folder (an unpacked cache) with a payload", runVerifyCommand},
};

void printUsage(std::FILE* stream) {
  std::fprintf(stream, "usage:\n");
  for (const Subcommand& command : SUBCOMMANDS) std::fprintf(stream, "  %s %s\n", TOOL, command.usage);
  std::fprintf(stream, "\n");
  for (const Subcommand& command : SUBCOMMANDS) std::fprintf(stream, "  %-8s %s\n", command.name, command.summary);
}

const Subcommand* findSubcommand(const std::string& name) {
  for (const Subcommand& command : SUBCOMMANDS)
    if (name == command.name) return &command;
  return nullptr;
}

int runReportingFailures(const Subcommand& command, const Arguments& arguments) {
  try {
    return command.run(arguments);
  } catch (const OptionError& error) {
    std::fprintf(stderr, "%s %s: %s\n", TOOL, command.name, error.what());
    return EXIT_USAGE;
  } catch (const UsageError& error) {
    std::fprintf(stderr, "%s %s: %s\nusage: %s %s\n", TOOL, command.name, error.what(), TOOL, command.usage);
    return EXIT_USAGE;
  } catch (const PackError& error) {
    std::fprintf(stderr, "%s: %s\n", TOOL, error.what());
  } catch (const std::filesystem::filesystem_error& error) {
    std::fprintf(stderr, "%s: %s: %s\n", TOOL, error.path1().c_str(), error.code().message().c_str());
  } catch (const std::exception& error) {
    std::fprintf(stderr, "%s: %s\n", TOOL, error.what());
  }
  return EXIT_FAILED;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) {
    printUsage(stderr);
    return EXIT_USAGE;
  }
  std::string name = argv[1];
  if (name == "help" || name == "--help" || name == "-h") {
    printUsage(stdout);
    return EXIT_OK;
  }
  const Subcommand* command = findSubcommand(name);
  if (command == nullptr) {
    std::fprintf(stderr, "%s: unknown subcommand '%s'\n", TOOL, name.c_str());
    printUsage(stderr);
    return EXIT_USAGE;
  }
  return runReportingFailures(*command, Arguments(argv + 2, argv + argc));
}
