// onefile-pack: the host-side packer. Each subcommand has an entry in the
// table below; adding one needs no other change here.
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <string>

#ifdef _WIN32
#include <windows.h>
#endif

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
    std::fprintf(stderr, "%s: %s: %s\n", TOOL, error.path1().u8string().c_str(), error.code().message().c_str());
  } catch (const std::exception& error) {
    std::fprintf(stderr, "%s: %s\n", TOOL, error.what());
  }
  return EXIT_FAILED;
}

int runTool(const Arguments& arguments) {
  if (arguments.empty()) {
    printUsage(stderr);
    return EXIT_USAGE;
  }
  const std::string& name = arguments[0];
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
  return runReportingFailures(*command, Arguments(arguments.begin() + 1, arguments.end()));
}

}  // namespace

#ifdef _WIN32
// Arguments arrive as UTF-16, so that every name reaches the tool whatever the
// system's code page; inside, text is UTF-8 as on Linux.
int wmain(int argc, wchar_t** argv) {
  Arguments arguments;
  for (int i = 1; i < argc; ++i) {
    int size = WideCharToMultiByte(CP_UTF8, 0, argv[i], -1, nullptr, 0, nullptr, nullptr);
    std::string text(size > 0 ? size - 1 : 0, '\0');
    if (size > 1) WideCharToMultiByte(CP_UTF8, 0, argv[i], -1, text.data(), size, nullptr, nullptr);
    arguments.push_back(std::move(text));
  }
  return runTool(arguments);
}
#else
int main(int argc, char** argv) { return runTool(Arguments(argv + 1, argv + argc)); }
#endif
