// onefile-pack payload as a user meets it: messages, exit statuses, outputs.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <functional>

#include "fixtures.h"
#include "test-support.h"

namespace {

using namespace testing_support;

TEST(PackCommand, EachBadInputGetsOneLineNamingTheFileAndLeavesNoOutput) {
  struct Case {
    const char* what;
    std::function<void(const fs::path&)> setUp;
    std::string main;
    std::string subject;  // relative to the app folder
    std::string reason;
  };
  std::vector<Case> cases = {
      {"missing folder", [](const fs::path& app) { fs::remove_all(app); }, "app.exe", "", "no such folder"},
      {"missing main", [](const fs::path&) {}, "other.exe", "other.exe", "no such main program"},
      {"main not .exe", [](const fs::path&) {}, "lib.dll", "lib.dll", "must be an .exe"},
      {"main below the top", [](const fs::path& app) { writeFile(app / "bin/x.exe", "x"); }, "bin/x.exe",
       "bin/x.exe", "top level"},
      {"forbidden character", [](const fs::path& app) { writeFile(app / "a|b", "x"); }, "app.exe", "a|b",
       "Windows does not allow"},
      {"device name", [](const fs::path& app) { writeFile(app / "sub/aux.txt", "x"); }, "app.exe", "sub/aux.txt",
       "reserves"},
      {"trailing dot", [](const fs::path& app) { writeFile(app / "dir./f", "x"); }, "app.exe", "dir.", "dot"},
      {"invalid UTF-8", [](const fs::path& app) { writeFile(app / "\xc3(", "x"); }, "app.exe", "\\xC3(", "UTF-8"},
      {"case twins", [](const fs::path& app) { writeFile(app / "App.exe", "y"); }, "app.exe", "app.exe",
       "differs only in case"},
      {"link out", [](const fs::path& app) { fs::create_symlink("/etc/hostname", app / "host"); }, "app.exe", "host",
       "out of the folder"},
      {"named pipe", [](const fs::path& app) { mkfifo((app / "fifo").c_str(), 0600); }, "app.exe", "fifo",
       "named pipe"},
      {"name too long",
       [](const fs::path& app) {
         writeFile(app / (std::string(250, 'a') + "/" + std::string(250, 'b') + "/" + std::string(250, 'c') + "/" +
                          std::string(250, 'd') + "/" + std::string(30, 'e')),
                   "x");
       },
       "app.exe", std::string(250, 'a'), "at most 1023"},
  };
  for (const Case& c : cases) {
    ScratchFolder folder;
    fs::path app = folder / "app";
    writeFile(app / "app.exe", "main");
    writeFile(app / "lib.dll", "lib");
    c.setUp(app);
    fs::create_directory(folder / "out");
    CommandResult result = packFolder(app, folder / "out/app.payload", c.main);
    std::string subject = c.subject.empty() ? app.string() : (app / c.subject).string();
    EXPECT_EQ(result.status, 1) << c.what;
    EXPECT_EQ(lineCount(result.err), 1u) << c.what << ": " << result.err;
    EXPECT_EQ(result.err.rfind("onefile-pack: " + subject, 0), 0u) << c.what << ": " << result.err;
    EXPECT_NE(result.err.find(c.reason), std::string::npos) << c.what << ": " << result.err;
    EXPECT_TRUE(entriesOf(folder / "out").empty()) << c.what;
  }
  // Many: each on a line of its own, up to 20, then how many more and in all.
  ScratchFolder many;
  writeFile(many / "app/app.exe", "main");
  for (int i = 10; i < 33; ++i) writeFile(many / "app" / ("f" + std::to_string(i) + "?"), "x");
  CommandResult result = packFolder(many / "app", many / "app.payload");
  EXPECT_EQ(result.status, 1);
  EXPECT_EQ(lineCount(result.err), 22u) << result.err;
  EXPECT_NE(result.err.find("/f29?: the name holds '?'"), std::string::npos) << result.err;
  EXPECT_EQ(result.err.find("/f30?"), std::string::npos) << result.err;
  EXPECT_NE(result.err.find("\nonefile-pack: and 3 more\nonefile-pack: " + (many / "app").string() +
                            ": 23 files cannot be packed\n"),
            std::string::npos)
      << result.err;
  EXPECT_FALSE(fs::exists(many / "app.payload"));
}

TEST(PackCommand, AFailedRunLeavesAnEarlierOutputAlone) {
  ScratchFolder folder;
  writeFile(folder / "app/app.exe", "main");
  writeFile(folder / "app.payload", "earlier");
  writeFile(folder / "app/bad?", "x");
  EXPECT_EQ(packFolder(folder / "app", folder / "app.payload").status, 1);
  EXPECT_EQ(readFile(folder / "app.payload"), "earlier");
  EXPECT_EQ(entriesOf(folder.path()), (std::vector<std::string>{"app", "app.payload"}));
}

TEST(PackCommand, RefusesCommandLinesItCannotFollowWithItsUsage) {
  ScratchFolder folder;
  writeFile(folder / "app/app.exe", "main");
  std::string app = (folder / "app").string(), out = (folder / "x.payload").string();
  std::vector<std::vector<std::string>> lines = {
      {},
      {"unpack"},
      {"payload", app, "--main", "app.exe"},
      {"payload", app, "-o", out},
      {"payload", app, app, "--main", "app.exe", "-o", out},
      {"payload", app, "--main", "app.exe", "-o", out, "--frobnicate"},
      {"payload", app, "--main", "app.exe", "-o", out, "-o", out},
      {"list"},
      {"verify", out},
  };
  for (const std::vector<std::string>& line : lines) {
    CommandResult result = runPack(line);
    std::string shown = line.empty() ? "(none)" : line[0] + (line.size() > 1 ? " " + line.back() : "");
    EXPECT_EQ(result.status, 2) << shown;
    EXPECT_NE(result.err.find("usage"), std::string::npos) << shown;
  }
  // A value out of range gets one line naming the option.
  for (const auto& [option, value] : std::vector<std::pair<std::string, std::string>>{
           {"--level", "0"}, {"--level", "fast"}, {"--threads", "-1"}}) {
    CommandResult result = runPack({"payload", app, "--main", "app.exe", "-o", out, option, value});
    EXPECT_EQ(result.status, 2) << option << value;
    EXPECT_EQ(result.err.rfind("onefile-pack payload: " + option + ": takes a whole number from ", 0), 0u) << result.err;
    EXPECT_EQ(lineCount(result.err), 1u) << result.err;
  }
  EXPECT_FALSE(fs::exists(out));
  CommandResult help = runPack({"--help"});
  EXPECT_EQ(help.status, 0);
  EXPECT_NE(help.out.find("onefile-pack payload APP_DIR --main REL -o FILE"), std::string::npos);
}

TEST(PackCommand, ShowsProgressOnATerminalAndNothingElsewhere) {
  ScratchFolder folder;
  writeFile(folder / "app/app.exe", fixtures::textBytes(500000, 1));
  CommandResult quiet = packFolder(folder / "app", folder / "1.payload");
  EXPECT_EQ(quiet.status, 0);
  EXPECT_EQ(quiet.err, "");
  EXPECT_NE(quiet.out.find("1 file, 500000 bytes of content"), std::string::npos) << quiet.out;

  CommandResult hasScript = runShell("command -v script");
  if (hasScript.status != 0) GTEST_SKIP() << "no 'script' to give the packer a terminal";
  std::string command = shellQuote(packPath()) + " payload " + shellQuote((folder / "app").string()) +
                        " --main app.exe --level 3 -o " + shellQuote((folder / "2.payload").string());
  CommandResult onTerminal = runShell("script -qec " + shellQuote(command) + " /dev/null");
  EXPECT_EQ(onTerminal.status, 0) << onTerminal.err;
  EXPECT_NE(onTerminal.out.find("Packing ["), std::string::npos) << onTerminal.out;
  EXPECT_NE(onTerminal.out.find("100%"), std::string::npos) << onTerminal.out;
  EXPECT_EQ(readFile(folder / "1.payload"), readFile(folder / "2.payload"));
}

TEST(PackCommand, WarnsAboutNamesThatALongCacheFolderLeavesNoRoomFor) {
  ScratchFolder folder;
  writeFile(folder / "app/app.exe", "main");
  writeFile(folder / ("app/" + std::string(200, 'n')), "x");
  CommandResult result = runPack({"payload", (folder / "app").string(), "--main", "app.exe", "-o",
                                  (folder / "p").string(), "--level", "3", "--cache-folder-length", "3900"});
  EXPECT_EQ(result.status, 0);
  EXPECT_EQ(lineCount(result.err), 1u) << result.err;
  EXPECT_NE(result.err.find("warning: " + (folder / "app").string() + "/nnn"), std::string::npos) << result.err;
  EXPECT_NE(result.err.find("at most 3894"), std::string::npos) << result.err;
  EXPECT_TRUE(fs::exists(folder / "p"));
}

}  // namespace
