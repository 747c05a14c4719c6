// onefile-pack payload APP_DIR --main REL -o FILE [--level N] [--threads N]
//                      [--cache-folder-length N]
#include <cstdio>
#include <memory>

#include "command_line.h"
#include "commands.h"
#include "folder_options.h"
#include "payload_writer.h"
#include "utf.h"

namespace onefile {

int runPayloadCommand(const Arguments& arguments) {
  std::vector<OptionSpec> options = FOLDER_OPTIONS;
  options.push_back({{"-o", "--output"}, "output"});
  ParsedArguments parsed = parseArguments(arguments, options);
  if (parsed.positional.size() != 1) throw UsageError("expects exactly one application folder");
  FolderRequest request = folderRequestFrom(parsed, std::filesystem::u8path(parsed.positional[0]));
  std::filesystem::path output = std::filesystem::u8path(parsed.required("output", "-o"));

  std::vector<FolderFile> files = scanRequestedFolder(request);
  std::unique_ptr<TerminalProgressBar> bar = TerminalProgressBar::ifWatched(stderr);
  PackSummary summary = writePayloadFile(files, request.settings, output, bar.get());
  std::printf("%s: %llu files, %llu bytes of content, payload of %llu bytes\n",
              displayName(output.u8string()).c_str(), static_cast<unsigned long long>(summary.files),
              static_cast<unsigned long long>(summary.contentBytes),
              static_cast<unsigned long long>(summary.payloadBytes));
  return EXIT_OK;
}

}  // namespace onefile
