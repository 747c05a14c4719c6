// onefile-pack payload APP_DIR --main REL -o FILE [--level N] [--threads N]
//                      [--cache-folder-length N] [-q]
#include <cstdio>
#include <memory>

#include "onefile-pack/command-line.h"
#include "onefile-pack/commands.h"
#include "host/counted-text.h"
#include "onefile-pack/folder-options.h"
#include "onefile-pack/output-check.h"
#include "payload-io/payload-writer.h"
#include "host/text-output.h"
#include "host/utf.h"

namespace onefile {

std::vector<OptionDefinition> payloadOptions() {
  std::vector<OptionDefinition> options = FOLDER_OPTIONS;
  options.push_back({{"-o", "--output"}, "output", "FILE", "the payload file to write (replaced if it exists)"});
  options.push_back(quietOption());
  return options;
}

int runPayloadCommand(const Arguments& arguments) {
  ParsedArguments parsed = parseArguments(arguments, payloadOptions());
  bool quiet = parsed.has("quiet");
  if (parsed.positional.empty()) throw UsageError("the application folder is missing");
  if (parsed.positional.size() != 1) throw UsageError("expects exactly one application folder");
  FolderRequest request = folderRequestFrom(parsed, std::filesystem::u8path(parsed.positional[0]));
  std::string given = parsed.required("output", "-o");
  checkOutputPath(given, "-o");
  std::filesystem::path output = std::filesystem::u8path(given);

  std::vector<FolderFile> files = scanRequestedFolder(request);
  std::unique_ptr<TerminalProgressBar> bar = quiet ? nullptr : TerminalProgressBar::ifWatched(stderr);
  std::unique_ptr<TerminalProgressBar> checking = quiet ? nullptr : TerminalProgressBar::ifWatched(stderr, "Checking");
  PackSummary summary = writePayloadFile(files, request.settings, output, bar.get(), checking.get());
  if (!quiet)
    printText(stdout, "%s: %s, %s of content, payload of %llu bytes\n", displayName(output.u8string()).c_str(),
              countedText(summary.files, "file").c_str(), countedText(summary.contentBytes, "byte").c_str(),
              static_cast<unsigned long long>(summary.payloadBytes));
  return EXIT_OK;
}

}  // namespace onefile
