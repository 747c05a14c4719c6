// onefile-pack build as a user meets it: what it refuses (one line each,
// nothing written), what the finished executable's headers and resources say
// when read back with tools this project did not write, and reproducibility.
#include <gtest/gtest.h>

#include <regex>

#include "executable/application-resources.h"
#include "executable/embedded-files.h"
#include "executable/executable-writer.h"
#include "fixtures.h"
#include "host/pack-error.h"
#include "payload/format.h"
#include "resources/attached.h"
#include "pe-image/program-traits.h"
#include "test-support.h"

namespace {

using namespace testing_support;

const std::string TOOL_PREFIX = "onefile-pack build: ";

struct Built {
  CommandResult result;
  fs::path exe;
};

std::vector<std::string> with(std::vector<std::string> arguments, const std::vector<std::string>& more) {
  arguments.insert(arguments.end(), more.begin(), more.end());
  return arguments;
}

// An application folder; its main program, a GUI program without resources,
// is never run by these tests.
void writeApp(const fs::path& app) {
  writeFile(app / "app.exe", programImage(2));
  writeFile(app / "lib/helper.dll", fixtures::textBytes(20000, 3));
  writeFile(app / "data.bin", fixtures::randomBytes(30000, 4));
}

std::string payloadOf(const fixtures::Files& files) {
  return fixtures::payloadOfFrames(fixtures::recordStream(files), {});
}

std::string tool(const std::string& name) { return std::string("x86_64-w64-mingw32-") + name; }

TEST(BuildCommand, RefusesEachBadOptionWithOneLineAndWritesNothing) {
  ScratchFolder folder;
  writeApp(folder / "app");
  writeFile(folder / "text.ico", "not an icon");
  const std::string anyFile = (folder / "text.ico").string();
  // A directory that says its one image lies beyond the file's end.
  std::string cut("\0\0\1\0\1\0\x10\x10\0\0\1\0\x20\0\0\x10\0\0\x16\0\0\0", 22);
  writeFile(folder / "cut.ico", cut);
  fs::create_directory(folder / "out");
  std::string app = (folder / "app").string(), out = (folder / "out/x.exe").string();
  std::vector<std::string> base = {"build", app, "--main", "app.exe"};
  const std::string notVersion = "is not up to four dot-separated numbers from 0 to 65535, then optionally "
                                 "-PRERELEASE and +BUILD as SemVer writes them (2.1.0-beta.3)";
  const std::string outFolder = (folder / "out").string(), missing = (folder / "missing").string();
  struct Case {
    std::vector<std::string> extra;
    std::string message;  // the whole line, after "onefile-pack build: " or "onefile-pack: "
    int status;
    std::string output = "";  // -o, when not out
  };
  std::vector<Case> cases = {
      {{"--version", "1.2.3.4.5"}, "--version: '1.2.3.4.5' " + notVersion, 2},
      {{"--version", "1.x"}, "--version: '1.x' " + notVersion, 2},
      {{"--version", "65536"}, "--version: '65536' " + notVersion, 2},
      {{"--version", "1..2"}, "--version: '1..2' " + notVersion, 2},
      {{"--version", ""}, "--version: '' " + notVersion, 2},
      {{"--version", "2.1.0-beta.03"}, "--version: '2.1.0-beta.03' " + notVersion, 2},
      {{"--version", "2.1.0-beta..3"}, "--version: '2.1.0-beta..3' " + notVersion, 2},
      {{"--version", "2.1.0-"}, "--version: '2.1.0-' " + notVersion, 2},
      {{"--version", "2.1.0+a+b"}, "--version: '2.1.0+a+b' " + notVersion, 2},
      {{"--version", "2.1.0-beta_1"}, "--version: '2.1.0-beta_1' " + notVersion, 2},
      {{"--version", "2.1.0-" + std::string(65, 'p')},
       "--version: '2.1.0-" + std::string(65, 'p') + "' has a prerelease of 65 characters; at most 64 are taken", 2},
      {{"--version", "2.1.0-x.removing.5"},
       "--version: '2.1.0-x.removing.5' holds '.removing.', which marks the folder of a version being removed", 2},
      {{"--remove-old-versions"},
       "--remove-old-versions: the cache folder's name app comes from the main program's file name alone, which "
       "another vendor's program may share, and their folders would be removed as older versions; pass a name that "
       "says whose application it is (for example --name Contoso.Notes)", 2},
      {{"--execution-level", "admin"},
       "--execution-level: takes asInvoker, highestAvailable or requireAdministrator, not 'admin'", 2},
      {{"--exclude", ""}, "--exclude: '' is empty", 2},
      {{"--exclude", "lib\\*.pdb"},
       "--exclude: 'lib\\*.pdb' holds '\\': patterns separate folders with '/' on every system, as in tests/**", 2},
      {{"--exclude", "/tests/**"},
       "--exclude: '/tests/**' starts with '/': patterns are matched against paths inside the folder, as in **/*.pdb", 2},
      {{"--exclude", "**.pdb"},
       "--exclude: '**.pdb' holds '**' inside a name: '**' stands for whole folders, as in **/*.pdb; '*' for part "
       "of a name", 2},
      {{"--template", "{NOPE}\\x"}, "--template: unknown placeholder '{NOPE}'", 2},
      {{"--template", "{}\\x"}, "--template: an empty placeholder '{}'", 2},
      {{"--template", "{CACHE_DIR}\\{VERSION"}, "--template: unbalanced braces: the placeholder '{VERSION' is not closed", 2},
      {{"--template", "{A{TEMP}"}, "--template: unbalanced braces: the placeholder '{A' is not closed before the next '{'", 2},
      {{"--template", "{TEMP}\\a}b"}, "--template: unbalanced braces: the '}' after '{TEMP}\\a' closes no placeholder", 2},
      {{"--template", ""}, "--template: the path template is empty", 2},
      {{"--template", std::string(4096, 'a')},
       "--template: the path template is 4096 UTF-16 code units long; its expansion holds at most 4095", 2},
      {{"--template", "\xff"}, "--template: '\\xFF' is not UTF-8 text", 2},
      {{"--name", ""}, "--name: is empty", 2},
      {{"--name", "a\\b"}, "--name: the name holds '\\', which Windows does not allow in file names", 2},
      {{"--name", "NUL"}, "--name: the name is a device name that Windows reserves (CON, PRN, AUX, NUL, COM1-9, LPT1-9)", 2},
      {{"--name", "App."}, "--name: the name ends in a dot, which Windows drops, so the file could not be created under this name", 2},
      {{"--company", "Acme\tInc"}, "--company: holds a control character", 2},
      {{"--copyright", std::string(1025, 'c')}, "--copyright: is 1025 characters long; at most 1024 are taken", 2},
      {{"--level", "23"}, "--level: takes a whole number from 1 to 22, not '23'", 2},
      {{"--threads", "x"}, "--threads: takes a whole number from 0 to 256, not 'x'", 2},
      // Past the largest size, also where scaling the count would wrap around to 0 or to 1G.
      {{"--frame-size", "1025G"}, "--frame-size: expects at most 1024G", 2},
      {{"--frame-size", "17179869184G"}, "--frame-size: expects at most 1024G", 2},
      {{"--frame-size", "17179869185G"}, "--frame-size: expects at most 1024G", 2},
      {{"--close-threads", "17"}, "--close-threads: takes a whole number from 0 to 16, not '17'", 2},
      {{"--icon", (folder / "text.ico").string()}, (folder / "text.ico").string() + ": not an icon file (.ico)", 1},
      {{"--icon", (folder / "cut.ico").string()}, (folder / "cut.ico").string() + ": image 1 lies outside the icon file", 1},
      {{"--icon", (folder / "none.ico").string()}, (folder / "none.ico").string() + ": cannot read the file", 1},
      {{"--console", "--windows"}, "--windows: cannot be given with --console", 2},
      {{"--progress-window", "--console"},
       "--progress-window: is for GUI programs: a console program's user sees its console wait", 2},
      // Signing: one way at a time, and a token's PIN never in its URI.
      {{"--sign-command", "osslsigncode sign", "--sign-password-env", "PASS"},
       "--sign-password-env: cannot be given with --sign-command, which signs with settings of its own", 2},
      {{"--sign-command", "sign.sh 'unclosed {file}"}, "--sign-command: a ' quote is not closed", 2},
      {{"--sign-command", " "}, "--sign-command: names no program", 2},
      {{"--sign-command", "no-such-signer {file}"}, "--sign-command: no-such-signer is not on PATH", 2},
      {{"--sign-pkcs11-module", anyFile}, "--sign-pkcs11-module: needs --sign-key, the key's pkcs11: URI, and --sign-cert", 2},
      {{"--sign-cert", anyFile, "--sign-key", "pkcs11:token=t;object=k"},
       "--sign-key: a pkcs11: URI needs --sign-pkcs11-module, the token's PKCS#11 library", 2},
      {{"--sign-pkcs11-module", anyFile, "--sign-cert", anyFile, "--sign-key", anyFile},
       "--sign-key: with --sign-pkcs11-module, takes the key's pkcs11: URI (such as "
       "pkcs11:token=MyToken;object=MyKey;type=private), not a file", 2},
      {{"--sign-pkcs11-module", anyFile, "--sign-cert", anyFile, "--sign-key", "pkcs11:token=t;object=k?pin-value=1234"},
       "--sign-key: the URI holds the PIN (pin-value), which would stand on a command line: put it in a variable "
       "that --sign-password-env names", 2},
      // The output is checked before the folder is read.
      {{}, "-o: " + outFolder + " is a folder; name the file to write in it, such as " + outFolder + "/app.exe", 2,
       outFolder},
      {{}, "-o: " + outFolder + "/ names a folder; name the file to write, such as " + outFolder + "/app.exe", 2,
       outFolder + "/"},
      {{}, "-o: " + missing + "/x.exe: the folder " + missing + " does not exist", 2, missing + "/x.exe"},
      {{}, "-o: " + out + "/x.exe: " + out + " is not a folder", 2, out + "/x.exe"},
  };
  writeFile(out, "a file where a folder should be");
  for (const Case& c : cases) {
    CommandResult result = runPack(with(with(base, {"-o", c.output.empty() ? out : c.output}), c.extra));
    std::string prefix = c.status == 2 ? TOOL_PREFIX : "onefile-pack: ";
    EXPECT_EQ(result.status, c.status) << c.message;
    EXPECT_EQ(result.err, prefix + c.message + "\n");
    EXPECT_EQ(entriesOf(folder / "out").size(), 1u) << c.message;
  }
  fs::remove(out);
  // Options that belong to the other input.
  fs::path payload = folder / "app.payload";
  writeFile(payload, payloadOf({{u"app.exe", "main"}}));
  for (const std::vector<std::string>& line :
       {std::vector<std::string>{"build", app, "--payload", payload.string(), "-o", out},
        std::vector<std::string>{"build", "--payload", payload.string(), "--main", "app.exe", "-o", out},
        std::vector<std::string>{"build", "--payload", payload.string()}}) {
    CommandResult result = runPack(line);
    EXPECT_EQ(result.status, 2) << result.err;
    EXPECT_NE(result.err.find("usage:"), std::string::npos) << result.err;
  }
  EXPECT_EQ(runPack({"build"}).err.rfind(TOOL_PREFIX + "the application folder is missing (or --payload FILE)\n", 0), 0u);
  // Without --main: the folder's only program at its top, else the one named like the folder.
  writeFile(folder / "Tools/a.exe", programImage(2));
  writeFile(folder / "Tools/tools.EXE", programImage(2));
  writeFile(folder / "Two/a.exe", programImage(2));
  writeFile(folder / "Two/b.exe", programImage(2));
  for (auto [named, said] : {std::pair<std::string, std::string>{app, "; did you mean --main app.exe?"},
                             {(folder / "Tools/").string(), "; did you mean --main tools.EXE?"},
                             {(folder / "Two").string(), ""}}) {
    CommandResult result = runPack({"build", named, "-o", out});
    EXPECT_EQ(result.status, 2) << named;
    EXPECT_EQ(result.err.rfind(TOOL_PREFIX + "missing --main" + said + "\nusage:", 0), 0u) << result.err;
  }
  for (std::string option : {"--main", "--level", "--threads", "--cache-folder-length"}) {
    CommandResult result = runPack({"build", "--payload", payload.string(), option, "1", "-o", out});
    EXPECT_EQ(result.status, 2) << result.err;
    EXPECT_EQ(result.err.rfind(TOOL_PREFIX + option + " is for an application folder, not --payload\n", 0), 0u)
        << result.err;
  }
  EXPECT_TRUE(entriesOf(folder / "out").empty());
}

TEST(BuildCommand, GuardsTheBootstrapAgainstPayloadNamesItWouldTrust) {
  ScratchFolder folder;
  fs::create_directory(folder / "out");
  struct Case {
    fixtures::Files files;
    std::string message;  // after "onefile-pack: <payload>: "
  };
  auto file = [](const std::u16string& name) { return std::make_pair(name, std::string("x")); };
  const std::string unsafe = "cannot be unpacked safely: ";
  std::vector<Case> cases = {
      {{file(u"app.exe"), file(u"..\\evil.dll")},
       "the file ..\\evil.dll " + unsafe + "the name has a '..' segment, which would lead out of its folder"},
      {{file(u"app.exe"), file(u"a\\..\\..\\evil.dll")},
       "the file a\\..\\..\\evil.dll " + unsafe + "the name has a '..' segment, which would lead out of its folder"},
      {{file(u"app.exe"), file(u"C:\\evil.dll")},
       "the file C:\\evil.dll " + unsafe + "the name starts with a drive letter, so it would leave the target folder"},
      {{file(u"app.exe"), file(u"\\evil.dll")},
       "the file \\evil.dll " + unsafe + "the name starts with a separator, so it would leave the target folder"},
      {{file(u"app.exe"), file(u"a\\\\b")},
       "the file a\\\\b " + unsafe + "the name has an empty component (two separators in a row, or one at its end)"},
      {{file(u"app.exe"), file(u"sub\\com1.txt")},
       "the file sub\\com1.txt " + unsafe +
           "the name is a device name that Windows reserves (CON, PRN, AUX, NUL, COM1-9, LPT1-9)"},
      {{file(u"app.exe"), file(u"notes.")},
       "the file notes. " + unsafe +
           "the name ends in a dot, which Windows drops, so the file could not be created under this name"},
      {{file(u"app.exe"), file(u"notes ")},
       "the file notes  " + unsafe +
           "the name ends in a space, which Windows drops, so the file could not be created under this name"},
      {{file(u"app.exe"), file(u"a/b")},
       "the file a/b " + unsafe + "the name holds '/', which Windows does not allow in file names"},
      {{file(u"app.exe"), file(u"Lib.dll"), file(u"lib.DLL")},
       "the file lib.DLL differs only in case from Lib.dll; on Windows they would collide"},
      {{file(u"app.exe"), file(u"data\\x"), file(u"DATA")},
       "the file DATA has the name of the folder data; on Windows they would collide"},
      {{file(u"lib.dll"), file(u"app.exe")},
       "its first file, lib.dll, is not an .exe at the top level: the bootstrap starts the first file"},
      {{file(u"bin\\app.exe")},
       "its first file, bin\\app.exe, is not an .exe at the top level: the bootstrap starts the first file"},
      {{file(u".exe")}, "its first file, .exe, is not an .exe at the top level: the bootstrap starts the first file"},
      {{}, "the payload holds no file to start"},
  };
  for (const Case& c : cases) {
    fs::path payload = folder / "in.payload";
    writeFile(payload, payloadOf(c.files));
    std::string out = (folder / "out/x.exe").string();
    CommandResult result = runPack({"build", "--payload", payload.string(), "-o", out});
    EXPECT_EQ(result.status, 1) << c.message;
    EXPECT_EQ(result.err, "onefile-pack: " + payload.string() + ": " + c.message + "\n");
    EXPECT_TRUE(entriesOf(folder / "out").empty()) << c.message;
    // The guard can be lifted for bootstraps that tests make to fail on purpose.
    EXPECT_EQ(runPack({"build", "--payload", payload.string(), "-o", out, "--unchecked"}).status, 0) << c.message;
    fs::remove(out);
  }
  // The extension is compared as Windows compares it, without regard to case.
  writeFile(folder / "upper.payload", payloadOf({{u"Run.EXE", programImage(2)}}));
  CommandResult upper = runPack({"build", "--payload", (folder / "upper.payload").string(), "-o",
                                 (folder / "out/upper.exe").string()});
  EXPECT_EQ(upper.status, 0) << upper.err;
  fs::remove(folder / "out/upper.exe");
  writeFile(folder / "not.payload", "ZBY and no frame");
  CommandResult magic = runPack({"build", "--payload", (folder / "not.payload").string(), "-o", (folder / "out/x.exe").string()});
  EXPECT_EQ(magic.err, "onefile-pack: " + (folder / "not.payload").string() + ": not a payload file (which starts with \"ZBX\")\n");
  EXPECT_TRUE(entriesOf(folder / "out").empty());
}

TEST(BuildCommand, RefusesAPayloadLargerThanAnImageCanCarryBeforeWriting) {
  ScratchFolder folder;
  fs::create_directory(folder / "out");
  fs::path payload = folder / "huge.payload";
  writeFile(payload, "");
  fs::resize_file(payload, uint64_t(1) << 31);  // sparse: nothing is stored
  CommandResult result = runPack({"build", "--payload", payload.string(), "-o", (folder / "out/x.exe").string()});
  EXPECT_EQ(result.status, 1);
  std::smatch match;
  std::regex expected("onefile-pack: " + payload.string() +
                      ": the payload of 2147483648 bytes is larger than the ([0-9]+) bytes an executable can carry: "
                      "Windows loads no image of 2147483648 bytes or more\n");
  ASSERT_TRUE(std::regex_match(result.err, match, expected)) << result.err;
  // What the limit leaves: all of it but the bootstrap's own image and headers.
  uint64_t most = std::stoull(match[1]);
  EXPECT_LT(most, uint64_t(1) << 31);
  EXPECT_GT(most, (uint64_t(1) << 31) - (4u << 20));
  EXPECT_TRUE(entriesOf(folder / "out").empty());
}

std::string utf16z(const std::string& text) {
  std::string out;
  for (char c : text) out += std::string(1, c) + '\0';
  return out + std::string(2, '\0');
}

// What the executable takes from its main program where no option says
// otherwise, as objdump reads its header, as its template names the cache
// folder, and as the summary line tells the user.
TEST(BuildCommand, TakesTheSubsystemAndNameOfItsMainProgramUnlessTold) {
  ScratchFolder folder;
  const std::string gui = "Subsystem\t\t00000002\t(Windows GUI)", console = "Subsystem\t\t00000003\t(Windows CUI)";
  const std::string rest = " --version 1.7.0 --icon --company --description --product --copyright";
  struct Case {
    uint16_t subsystem;  // the main program's
    std::vector<std::string> extra;
    std::string header;  // objdump's line
    std::string name;    // the cache folder's
    std::string sources;  // the summary line after the sizes
  };
  std::vector<Case> cases = {
      {3, {}, console, "Tool", "; from Tool.exe: --console --name Tool; default:" + rest},
      {2, {}, gui, "Tool", "; from Tool.exe: --windows --name Tool; default:" + rest},
      {3, {"--windows"}, gui, "Tool", "; from Tool.exe: --name Tool; given: --windows; default:" + rest},
      {2, {"--console", "--name", "Other"}, console, "Other", "; given: --console --name Other; default:" + rest},
      {3, {"--version", "2.5"}, console, "Tool",
       "; from Tool.exe: --console --name Tool; given: --version 2.5; default: --icon --company --description "
       "--product --copyright"},
      // Test bootstraps read nothing from what they carry.
      {3, {"--unchecked"}, gui, "Quorvane", "; default: --windows --name Quorvane" + rest},
      {2, {"--unchecked", "--console"}, console, "Quorvane", "; given: --console; default: --name Quorvane" + rest},
  };
  for (const Case& c : cases) {
    std::string label = std::to_string(c.subsystem) + (c.extra.empty() ? "" : " " + c.extra[0]);
    writeFile(folder / "app/Tool.exe", programImage(c.subsystem));
    fs::path exe = folder / "out.exe";
    CommandResult built = runPack(with({"build", (folder / "app").string(), "--main", "Tool.exe", "-o", exe.string(),
                                        "--level", "1"},
                                       c.extra));
    ASSERT_EQ(built.status, 0) << label << built.err;
    // Tool.exe has no file version: one not given is the default, and warned about.
    bool defaulted = std::find(c.extra.begin(), c.extra.end(), "--version") == c.extra.end() &&
                     std::find(c.extra.begin(), c.extra.end(), "--unchecked") == c.extra.end();
    EXPECT_EQ(built.err, defaulted ? "onefile-pack: warning: no --version given and Tool.exe has no file version: every "
                                     "such build named " + c.name + " unpacks into the one cache folder of version "
                                     "1.7.0, over another's files; pass --version\n"
                                   : "")
        << label;
    std::smatch sizes;
    ASSERT_TRUE(std::regex_search(built.out, sizes, std::regex("payload of [0-9.]+ (bytes|KiB)"))) << built.out;
    EXPECT_EQ(sizes.suffix().str(), c.sources + "\n") << label;
    CommandResult headers = runShell(tool("objdump") + " -p " + shellQuote(exe.string()));
    EXPECT_NE(headers.out.find(c.header), std::string::npos) << label;
    EXPECT_NE(readFile(exe).find(utf16z("{CACHE_DIR}\\" + c.name + "\\{VERSION}")), std::string::npos) << label;
  }
  // With no {VERSION} in the template, the folder is shared whatever the
  // version: what the default gives every such build is the resource's number.
  CommandResult unversioned = runPack({"build", (folder / "app").string(), "--main", "Tool.exe", "-q", "--level", "1",
                                       "-o", (folder / "out.exe").string(), "--template", "{TEMP}\\Tool"});
  EXPECT_EQ(unversioned.err, "onefile-pack: warning: no --version given and Tool.exe has no file version: the "
                             "executable's version resource says 1.7.0, as every such build's does; pass --version (the "
                             "template has no {VERSION}, so every build of it shares its one cache folder whatever its "
                             "version)\n");
  // A ready payload's main program is its first file.
  writeFile(folder / "run.payload", payloadOf({{u"Run.EXE", programImage(3)}, {u"data.txt", "x"}}));
  CommandResult built = runPack({"build", "--payload", (folder / "run.payload").string(), "-o", (folder / "run.exe").string()});
  ASSERT_EQ(built.status, 0) << built.err;
  EXPECT_NE(built.out.find("; from Run.EXE: --console --name Run; default: --version 1.7.0"), std::string::npos)
      << built.out;
  EXPECT_NE(runShell(tool("objdump") + " -p " + shellQuote((folder / "run.exe").string())).out.find(console),
            std::string::npos);
}

// A main program that Windows could not start would make an executable that
// never starts either: it is refused in one line naming it, and nothing is
// written, unless the build is a test bootstrap's.
TEST(BuildCommand, RefusesAMainProgramWindowsCouldNotStart) {
  ScratchFolder folder;
  fs::create_directory(folder / "out");
  fs::path main = folder / "app/app.exe";
  const std::string notStarted = ", neither a console (3) nor a GUI program (2): Windows would not start it";
  struct Case {
    std::string bytes;
    std::string reason;  // empty: the reader's own, on one line
  };
  std::vector<Case> cases = {
      {"MZ main program", ""},
      {"#!/bin/sh\necho a script\n", ""},
      {programImage(2, MACHINE_I386), ""},
      {programImage(1), "its subsystem is 1" + notStarted},
      {programImage(10), "its subsystem is 10" + notStarted},
  };
  for (const Case& c : cases) {
    writeFile(main, c.bytes);
    std::string out = (folder / "out/x.exe").string();
    CommandResult result = runPack({"build", (folder / "app").string(), "--main", "app.exe", "-o", out});
    EXPECT_EQ(result.status, 1) << c.reason;
    std::string prefix = "onefile-pack: " + main.string() + ": ";
    EXPECT_EQ(result.err.rfind(prefix, 0), 0u) << result.err;
    EXPECT_EQ(lineCount(result.err), 1u) << result.err;
    if (!c.reason.empty()) {
      EXPECT_EQ(result.err, prefix + c.reason + "\n");
    }
    EXPECT_TRUE(entriesOf(folder / "out").empty()) << result.err;
    // In a ready payload, the first file is named inside it.
    fs::path payload = folder / "app.payload";
    writeFile(payload, payloadOf({{u"app.exe", c.bytes}}));
    CommandResult packed = runPack({"build", "--payload", payload.string(), "-o", out});
    EXPECT_EQ(packed.status, 1);
    EXPECT_EQ(packed.err.rfind("onefile-pack: " + payload.string() + ": app.exe: ", 0), 0u) << packed.err;
    EXPECT_TRUE(entriesOf(folder / "out").empty()) << packed.err;
    EXPECT_EQ(runPack({"build", (folder / "app").string(), "--main", "app.exe", "-o", out, "--unchecked"}).status, 0);
    fs::remove(out);
  }
}

// A program of the given identity, written as onefile-pack writes one (a GUI
// program with the project's icon), with texts no option would take.
std::string programWith(const onefile::ApplicationIdentity& identity,
                        onefile::ExecutionLevel level = onefile::ExecutionLevel::asInvoker) {
  ScratchFolder folder;
  onefile::StubImage stub(std::string(onefile::embeddedFile(onefileStub, onefileStubEnd)), "stub");
  onefile::ExecutableContent content{u"{CACHE_DIR}\\x", u"1", u"x",
                                     onefile::applicationResources(identity, onefile::defaultIcon(), level)};
  onefile::ExecutableWriter writer(stub, content, folder / "program.exe");
  writer.finish();
  return readFile(folder / "program.exe");
}

// Texts carried by the main program are taken as an option's would be, or
// left out with a warning; an explicit option wins over each.
TEST(BuildCommand, TakesTheMainProgramsDetailsUnlessGivenOrUnfit) {
  ScratchFolder folder;
  onefile::ApplicationIdentity identity{"Own", {4, 3, 2, 0}, "Comp\x01any", std::string(1025, 'd'), "Own Suite",
                                        "(c) Own"};
  writeFile(folder / "app/Own Tool.exe", programWith(identity, onefile::ExecutionLevel::requireAdministrator));
  fs::path exe = folder / "out.exe", main = folder / "app/Own Tool.exe";
  CommandResult built = runPack({"build", (folder / "app").string(), "--main", "Own Tool.exe", "-o", exe.string(),
                                 "--level", "1", "--copyright", "(c) Given"});
  ASSERT_EQ(built.status, 0) << built.err;
  EXPECT_EQ(built.err, "onefile-pack: warning: " + main.string() +
                           ": its CompanyName is left out: it holds a control character\n"
                           "onefile-pack: warning: " + main.string() +
                           ": its FileDescription is left out: it is 1025 characters long; at most 1024 are taken\n");
  EXPECT_NE(built.out.find("; from Own Tool.exe: --windows --name Own Tool --version 4.3.2 --execution-level "
                           "requireAdministrator --icon --product \"Own Suite\"; given: --copyright \"(c) Given\"; "
                           "default: --company --description\n"),
            std::string::npos)
      << built.out;
  CommandResult rc = runShell(tool("windres") + " -i " + shellQuote(exe.string()) + " -O rc");
  for (const char* expected : {" FILEVERSION 4, 3, 2, 0", "VALUE \"ProductName\", \"Own Suite\"",
                               "VALUE \"LegalCopyright\", \"(c) Given\"", "VALUE \"FileDescription\", \"Own Tool\"",
                               "VALUE \"OriginalFilename\", \"Own Tool.exe\"", "Has 6 elements",
                               "requestedExecutionLevel level=\"\"requireAdministrator\"\""})
    EXPECT_NE(rc.out.find(expected), std::string::npos) << expected;
  EXPECT_EQ(rc.out.find("CompanyName"), std::string::npos);
  EXPECT_NE(readFile(exe).find(utf16z("{CACHE_DIR}\\Own Tool\\{VERSION}") + utf16z("4.3.2")), std::string::npos);
  // The option wins over the manifest's level; a removal of old versions
  // names the folder after the product, not the file.
  ASSERT_EQ(runPack({"build", (folder / "app").string(), "--main", "Own Tool.exe", "-o", exe.string(), "-q",
                     "--level", "1", "--execution-level", "asInvoker", "--remove-old-versions"})
                .status,
            0);
  EXPECT_NE(runShell(tool("windres") + " -i " + shellQuote(exe.string()) + " -O rc")
                .out.find("requestedExecutionLevel level=\"\"asInvoker\"\""),
            std::string::npos);
  EXPECT_NE(readFile(exe).find(utf16z("{CACHE_DIR}\\Own Suite\\{VERSION}")), std::string::npos);

  // A program name that cannot name the cache folder asks for --name.
  writeFile(folder / "app/Tool..exe", programImage(3));
  CommandResult refused = runPack({"build", (folder / "app").string(), "--main", "Tool..exe", "-o", exe.string()});
  EXPECT_EQ(refused.status, 2);
  EXPECT_EQ(refused.err, "onefile-pack build: --name: the name ends in a dot, which Windows drops, so the file could "
                         "not be created under this name (taken from the main program's name; pass --name)\n");
}

// Every damaged program the reader's fuzzing kept, as a main program: a build
// says in one line each what the reader ignored, and takes the defaults for
// it, or refuses the program in one line; it never fails otherwise.
TEST(BuildCommand, SaysWhatItIgnoredInAMalformedMainProgram) {
  ScratchFolder folder;
  fs::path main = folder / "app/app.exe", out = folder / "out.exe";
  for (const fs::directory_entry& kept : fs::directory_iterator(PROGRAM_REGRESSIONS_DIR)) {
    SCOPED_TRACE(kept.path().filename().string());
    std::string bytes = readFile(kept.path());
    writeFile(main, bytes);
    CommandResult result =
        runPack({"build", (folder / "app").string(), "--main", "app.exe", "-o", out.string(), "-q", "--version", "1",
                 "--name", "Acme.App"});
    std::string expected;
    int status = 0;
    try {
      onefile::ProgramTraits traits = onefile::readProgramTraits(
          reinterpret_cast<const unsigned char*>(bytes.data()), bytes.size(), main.string());
      for (const std::string& warning : traits.warnings)
        expected += "onefile-pack: warning: " + main.string() + ": " + warning + "\n";
      if (traits.subsystem != 2 && traits.subsystem != 3) {
        expected += "onefile-pack: " + main.string() + ": its subsystem is " + std::to_string(traits.subsystem) +
                    ", neither a console (3) nor a GUI program (2): Windows would not start it\n";
        status = 1;
      }
    } catch (const onefile::PackError& refused) {
      expected = "onefile-pack: " + std::string(refused.what()) + "\n";
      status = 1;
    }
    EXPECT_EQ(result.status, status);
    EXPECT_EQ(result.err, expected);
    EXPECT_EQ(fs::exists(out), status == 0);
    fs::remove(out);
  }
}

const std::string GENERIC_NAME_WARNING =
    "onefile-pack: warning: the cache folder's name app is generic: another vendor's program of that name would "
    "share its folder; pass a name that says whose application it is (for example --name Contoso.Notes)\n";

TEST(BuildCommand, HeadersAndResourcesReadBackWithOtherTools) {
  ScratchFolder folder;
  writeApp(folder / "app");
  fs::path exe = folder / "app.exe";
  CommandResult built = runPack({"build", (folder / "app").string(), "--main", "app.exe", "-o", exe.string(),
                                 "--level", "3", "--company", "Acme Ltd", "--product", "Tool Suite", "--copyright",
                                 "(c) Acme", "--description", "A tool"});
  ASSERT_EQ(built.status, 0) << built.err;
  EXPECT_EQ(built.err, GENERIC_NAME_WARNING +
                       "onefile-pack: warning: no --version given and app.exe has no file version: every such build "
                       "named app unpacks into the one cache folder of version 1.7.0, over another's files; pass "
                       "--version\n");
  EXPECT_NE(fs::status(exe).permissions() & fs::perms::owner_exec, fs::perms::none);

  CommandResult headers = runShell(tool("objdump") + " -p " + shellQuote(exe.string()));
  ASSERT_EQ(headers.status, 0);
  EXPECT_NE(headers.out.find("Time/Date\t\tThu Jan  1 00:00:00 1970"), std::string::npos);
  EXPECT_NE(headers.out.find("Subsystem\t\t00000002\t(Windows GUI)"), std::string::npos);
  std::smatch checksum;
  ASSERT_TRUE(std::regex_search(headers.out, checksum, std::regex("CheckSum\t\t([0-9a-f]{8})")));
  EXPECT_NE(checksum[1], "00000000");
  CommandResult verify = runShell("osslsigncode verify -in " + shellQuote(exe.string()));
  std::string upper = checksum[1];
  for (char& c : upper) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  EXPECT_NE(verify.out.find("PE checksum   : " + upper), std::string::npos) << verify.out;
  EXPECT_EQ(verify.out.find("invalid PE checksum"), std::string::npos) << verify.out;

  CommandResult rc = runShell(tool("windres") + " -i " + shellQuote(exe.string()) + " -O rc");
  ASSERT_EQ(rc.status, 0) << rc.err;
  for (const char* expected : {
           " FILEVERSION 1, 7, 0, 0", " PRODUCTVERSION 1, 7, 0, 0", "VALUE \"FileVersion\", \"1.7.0.0\"",
           "VALUE \"ProductVersion\", \"1.7.0.0\"", "VALUE \"CompanyName\", \"Acme Ltd\"",
           "VALUE \"ProductName\", \"Tool Suite\"", "VALUE \"FileDescription\", \"A tool\"",
           "VALUE \"LegalCopyright\", \"(c) Acme\"", "VALUE \"InternalName\", \"app\"",
           "VALUE \"OriginalFilename\", \"app.exe\"", "Has 6 elements", "\"\\020\\020\\000\\000\", 1, 32",
           "\"\\030\\030\\000\\000\", 1, 32", "\"\\040\\040\\000\\000\", 1, 32", "\"\\060\\060\\000\\000\", 1, 32",
           "\"\\100\\100\\000\\000\", 1, 32", "\"\\000\\000\\000\\000\", 1, 32",
           "requestedExecutionLevel level=\"\"asInvoker\"\" uiAccess=\"\"false\"\"",
           ">true</longPathAware>", "name=\"\"Microsoft.Windows.Common-Controls\"\" version=\"\"6.0.0.0\"\"",
           "{e2011457-1546-43c5-a5fe-008deee3d3f0}", "{35138b9a-5d96-4fbd-8e2d-a2440225f93a}",
           "{4a2f28e3-53b9-4441-ba9c-d69d4a4a6e38}", "{1f676c76-80e1-4239-95bb-83d0f6d0da78}",
           "{8e0f7a12-bfb3-4fe8-b9a5-48fd50a15a9a}"})
    EXPECT_NE(rc.out.find(expected), std::string::npos) << expected;

  // A level asked for, and a prerelease: its numbers in the file version,
  // its whole text in the product version and the cache folder.
  ASSERT_EQ(runPack({"build", (folder / "app").string(), "--main", "app.exe", "-o", exe.string(), "-q", "--level", "1",
                     "--name", "Acme.App", "--version", "2.1.0-beta.3+7", "--execution-level", "requireAdministrator"})
                .status,
            0);
  rc = runShell(tool("windres") + " -i " + shellQuote(exe.string()) + " -O rc");
  for (const char* expected : {" FILEVERSION 2, 1, 0, 0", " PRODUCTVERSION 2, 1, 0, 0", "VALUE \"FileVersion\", \"2.1.0.0\"",
                               "VALUE \"ProductVersion\", \"2.1.0-beta.3+7\"",
                               "requestedExecutionLevel level=\"\"requireAdministrator\"\" uiAccess=\"\"false\"\""})
    EXPECT_NE(rc.out.find(expected), std::string::npos) << expected;
  EXPECT_NE(readFile(exe).find(utf16z("{CACHE_DIR}\\Acme.App\\{VERSION}") + utf16z("2.1.0-beta.3+7")), std::string::npos);
}

TEST(BuildCommand, AGivenIconVersionAndNameReplaceTheDefaults) {
  ScratchFolder folder;
  writeApp(folder / "app");
  // One 16-pixel image: a bitmap header, 16x16 BGRA and the mask rows.
  std::string image(40, '\0');
  image[0] = 40, image[4] = 16, image[8] = 32, image[12] = 1, image[14] = 32;
  image += std::string(16 * 16 * 4 + 16 * 4, '\x7f');
  std::string ico("\0\0\1\0\1\0\x10\x10\0\0\1\0\x20\0", 14);
  for (uint32_t v : {static_cast<uint32_t>(image.size()), 22u})
    for (int i = 0; i < 4; ++i) ico.push_back(static_cast<char>(v >> (8 * i)));
  writeFile(folder / "one.ico", ico + image);
  fs::path exe = folder / "tool.exe";
  ASSERT_EQ(runPack({"build", (folder / "app").string(), "--main", "app.exe", "-o", exe.string(), "--level", "1",
                     "--icon", (folder / "one.ico").string(), "--version", "2.5", "--name", "Tool"})
                .status,
            0);
  CommandResult rc = runShell(tool("windres") + " -i " + shellQuote(exe.string()) + " -O rc");
  EXPECT_NE(rc.out.find("Has 1 elements"), std::string::npos);
  EXPECT_NE(rc.out.find(" FILEVERSION 2, 5, 0, 0"), std::string::npos);
  EXPECT_NE(rc.out.find("VALUE \"ProductName\", \"Tool\""), std::string::npos);
  // The template and version text go in as given, as UTF-16.
  EXPECT_NE(readFile(exe).find(utf16z("{CACHE_DIR}\\Tool\\{VERSION}") + utf16z("2.5")), std::string::npos);
}

TEST(BuildCommand, TheSameInputsGiveTheSameBytesWhereverAndHoweverBuilt) {
  ScratchFolder folder;
  writeApp(folder / "one/app");
  writeApp(folder / "elsewhere/deeper/app");
  auto build = [&](const fs::path& app, const std::string& out, const std::string& threads) {
    CommandResult result = runPack({"build", app.string(), "--main", "app.exe", "-o", (folder / out).string(),
                                    "--level", "3", "--threads", threads, "--company", "Acme"});
    EXPECT_EQ(result.status, 0) << result.err;
    return readFile(folder / out);
  };
  std::string first = build(folder / "one/app", "1.exe", "1");
  EXPECT_EQ(build(folder / "elsewhere/deeper/app", "2.exe", "2"), first);
  EXPECT_EQ(build(folder / "one/app", "3.exe", "0"), first);
  // And the same payload built by --payload gives the same executable again.
  ASSERT_EQ(runPack({"payload", (folder / "one/app").string(), "--main", "app.exe", "-o",
                     (folder / "app.payload").string(), "--level", "3"})
                .status,
            0);
  ASSERT_EQ(runPack({"build", "--payload", (folder / "app.payload").string(), "-o", (folder / "4.exe").string(),
                     "--company", "Acme"})
                .status,
            0);
  EXPECT_EQ(readFile(folder / "4.exe"), first);
}

// The folder that names are checked against is estimated from the template:
// its literal text, an allowance per placeholder, the version text as given,
// and the current folder for a relative template. One name of 999 units fits
// under a folder of at most 3095 (4096 less a backslash, the name and the
// terminator); each case sits next to that bound.
const std::string TEMPLATE_WARNING =
    "onefile-pack: warning: the path template does not start with {CACHE_DIR}, {HOME} or {TEMP}: other users may "
    "be able to change what the executable starts there\n";

// The flags word of the attached data's header in a built executable.
uint32_t attachedFlags(const std::string& built) {
  size_t header = built.rfind(std::string(reinterpret_cast<const char*>(ATTACHED_DATA_TAG), sizeof ATTACHED_DATA_TAG));
  return header == std::string::npos ? ~0u : static_cast<uint32_t>(readLittleEndian(
      reinterpret_cast<const unsigned char*>(built.data() + header + ATTACHED_FLAGS_AT), 4));
}

// Building into the application folder again and again: the last output is
// never packed into the next; another executable of this tool in the folder
// is packed, and named. A template outside the user's own folders is named
// too, and the progress window is marked only when asked for.
TEST(BuildCommand, LeavesItsOwnOutputOutAndNamesWhatDeservesAWarning) {
  ScratchFolder folder;
  writeApp(folder / "app");
  auto build = [&](const std::vector<std::string>& extra) {
    return runPack(
        with({"build", (folder / "app").string(), "--main", "app.exe", "-q", "--level", "1", "--version", "1", "--name",
              "Acme.App"},
             extra));
  };
  std::string out = (folder / "app/out.exe").string();
  ASSERT_EQ(build({"-o", out}).status, 0);
  std::string first = readFile(out);
  CommandResult again = build({"-o", out});
  EXPECT_EQ(again.status, 0) << again.err;
  EXPECT_EQ(again.err, "");
  EXPECT_EQ(readFile(out), first) << "the same folder, the same executable: out.exe was not packed";
  CommandResult overMain = build({"-o", (folder / "app/app.exe").string()});
  EXPECT_EQ(overMain.status, 2);
  EXPECT_EQ(overMain.err, TOOL_PREFIX + "-o: names the main program, which the executable must carry\n");
  fs::rename(out, folder / "app/tool.exe");
  CommandResult named = build({"-o", (folder / "elsewhere.exe").string()});
  EXPECT_EQ(named.err, "onefile-pack: warning: tool.exe is itself an executable made by onefile-pack; it is packed "
                       "as it is\n");
  EXPECT_NE(runPack({"list", (folder / "elsewhere.exe").string()}).out.find("tool.exe"), std::string::npos);
  fs::remove(folder / "app/tool.exe");

  // The application's folder of a given template: named when generic.
  const std::string genericInTemplate =
      "onefile-pack: warning: the cache folder's name Setup is generic: another vendor's program of that name would "
      "share its folder; put a name that says whose application it is in --template\n";
  struct Case {
    std::string pathTemplate;
    std::string warning;
  };
  const Case templates[] = {{"{CACHE_DIR}\\x\\{VERSION}", ""}, {"{HOME}\\x", ""}, {"{TEMP}\\x", ""},
                            {"C:\\x", TEMPLATE_WARNING}, {"\\\\server\\share\\x", TEMPLATE_WARNING},
                            {"{PROGRAM_DIR}\\x", TEMPLATE_WARNING}, {"x\\{VERSION}", TEMPLATE_WARNING},
                            {"{CACHE_DIR}\\Setup\\{VERSION}", genericInTemplate}, {"{TEMP}\\Setup", genericInTemplate},
                            {"{CACHE_DIR}\\Contoso\\Setup\\{VERSION}", ""}};
  for (const Case& c : templates) {
    CommandResult result = build({"-o", (folder / "t.exe").string(), "--template", c.pathTemplate});
    EXPECT_EQ(result.status, 0) << result.err;
    EXPECT_EQ(result.err, c.warning) << c.pathTemplate;
  }

  EXPECT_EQ(attachedFlags(first), ATTACHED_FLAG_LINKS_BETWEEN_VERSIONS);
  ASSERT_EQ(build({"-o", (folder / "shows.exe").string(), "--progress-window", "--no-links-between-versions"}).status,
            0);
  EXPECT_EQ(attachedFlags(readFile(folder / "shows.exe")), ATTACHED_FLAG_PROGRESS_WINDOW);
  // The closing threads' count, beside the other flags, and as list shows it.
  for (unsigned threads : {1u, 16u}) {
    std::string exe = (folder / "closes.exe").string();
    ASSERT_EQ(build({"-o", exe, "--close-threads", std::to_string(threads), "--progress-window"}).status, 0);
    uint32_t flags = attachedFlags(readFile(exe));
    EXPECT_EQ(flags, ATTACHED_FLAG_PROGRESS_WINDOW | attachedCloseThreadsFlags(threads) |
                         ATTACHED_FLAG_LINKS_BETWEEN_VERSIONS);
    EXPECT_EQ(attachedCloseThreads(flags), threads);
    std::string shown = "closes the files a start writes on " + std::to_string(threads) +
                        (threads == 1 ? " thread" : " threads") + " beside the unpacking\n";
    EXPECT_NE(runPack({"list", exe}).out.find(shown), std::string::npos) << threads;
  }
  std::string listed = runPack({"list", (folder / "shows.exe").string()}).out;
  EXPECT_EQ(listed.find("closes the files"), std::string::npos) << "the default, said by nothing";
  EXPECT_NE(listed.find("at an update writes every file (--no-links-between-versions"), std::string::npos);
  EXPECT_NE(runPack({"list", (folder / "closes.exe").string()}).out.find("at an update takes the files that did not "
                                                                          "change"),
            std::string::npos);
}

// --remove-old-versions is marked in the flags word, and a template under
// which older versions' folders are no siblings of the target is named in
// one line: the option does nothing there.
TEST(BuildCommand, MarksOldVersionRemovalAndNamesTemplatesWhereItDoesNothing) {
  ScratchFolder folder;
  writeApp(folder / "app");
  const std::string warning =
      "onefile-pack: warning: --remove-old-versions does nothing with this template: only one ending in "
      "\\<name>\\{VERSION} has the older versions' folders beside its own\n";
  struct Case {
    std::string pathTemplate;  // empty: the default
    bool warned;
  };
  const Case cases[] = {{"", false},
                        {"{TEMP}\\x\\{version}", false},
                        {"{TEMP}\\{VERSION}", true},
                        {"{TEMP}\\x-{VERSION}", true},
                        {"{TEMP}\\x\\{VERSION}\\bin", true},
                        {"{TEMP}\\{PID}\\{VERSION}", true},
                        {"{TEMP}\\..\\{VERSION}", true}};
  for (const Case& c : cases) {
    std::vector<std::string> arguments = {"build", (folder / "app").string(), "--main", "app.exe", "-q", "--level", "1",
                                          "-o", (folder / "r.exe").string(), "--remove-old-versions", "--version", "1",
                                          "--name", "Acme.App"};
    if (!c.pathTemplate.empty()) arguments.insert(arguments.end(), {"--template", c.pathTemplate});
    CommandResult result = runPack(arguments);
    EXPECT_EQ(result.status, 0) << result.err;
    EXPECT_EQ(result.err, c.warned ? warning : "") << c.pathTemplate;
    EXPECT_EQ(attachedFlags(readFile(folder / "r.exe")),
              ATTACHED_FLAG_REMOVE_OLD_VERSIONS | ATTACHED_FLAG_LINKS_BETWEEN_VERSIONS)
        << c.pathTemplate;
  }
}

TEST(BuildCommand, WarnsAboutLongNamesAgainstTheFolderTheTemplateGives) {
  ScratchFolder folder;
  writeFile(folder / "app/app.exe", programImage(2));
  std::string component(199, 'n');
  std::string name = component + "/" + component + "/" + component + "/" + component + "/" + component;
  writeFile(folder / "app" / name, "x");
  auto warnings = [&](const std::string& out, std::vector<std::string> extra) {
    // As long as the default, which is warned about.
    if (std::find(extra.begin(), extra.end(), "--version") == extra.end()) extra.insert(extra.end(), {"--version", "1.2.3"});
    CommandResult result = runPack(with({"build", (folder / "app").string(), "--main", "app.exe", "-o",
                                         (folder / out).string(), "--level", "1", "-q", "--name", "Acme.App"},
                                        extra));
    EXPECT_EQ(result.status, 0) << result.err;
    EXPECT_TRUE(fs::exists(folder / out));
    return result.err;
  };
  const std::string longCacheFolder = "{CACHE_DIR}\\" + std::string(2900, 'L') + "\\{VERSION}";  // 3166
  EXPECT_EQ(warnings("default.exe", {}), "");
  std::string warned = warnings("long.exe", {"--template", longCacheFolder});
  EXPECT_EQ(lineCount(warned), 1u) << warned;
  EXPECT_NE(warned.find("warning: " + (folder / "app").string() + "/nnn"), std::string::npos) << warned;
  EXPECT_NE(warned.find("under a target folder of 3166 code units"), std::string::npos) << warned;
  EXPECT_NE(warned.find("at most 3095"), std::string::npos) << warned;
  // The option still says how long the folder is.
  EXPECT_EQ(warnings("given.exe", {"--template", longCacheFolder, "--cache-folder-length", "260"}), "");
  // 2824 + 1 + 11 units, and 260 for the current folder and its backslash: 3096.
  const std::string relative = std::string(2824, 'R') + "\\{VERSION}";
  warned = warnings("relative.exe", {"--template", relative, "--version", "10.20.30.40"});
  EXPECT_NE(warned.find("under a target folder of 3096 code units"), std::string::npos) << warned;
  EXPECT_EQ(warnings("absolute.exe", {"--template", "C:\\" + relative, "--version", "10.20.30.40"}),
            TEMPLATE_WARNING);

  // A template whose own expansion may not fit is named, whatever is packed.
  writeFile(folder / "app.payload", payloadOf({{u"app.exe", programImage(2)}}));
  auto payloadWarnings = [&](size_t literalUnits) {
    std::string pathTemplate = "{CACHE_DIR}\\" + std::string(literalUnits, 'L');
    CommandResult result = runPack({"build", "--payload", (folder / "app.payload").string(), "-o",
                                    (folder / "payload.exe").string(), "-q", "--template", pathTemplate, "--version",
                                    "1.2.3"});
    EXPECT_EQ(result.status, 0) << result.err;
    return result.err;
  };
  EXPECT_EQ(payloadWarnings(3835), "");  // 259 + 1 + 3835 = 4095 units
  EXPECT_EQ(payloadWarnings(3836), "onefile-pack: warning: the path template may expand to 4096 code units on some "
                                   "machines; the bootstrap's target folder holds at most 4095\n");
}

TEST(BuildCommand, ShowsProgressOnATerminalUnlessQuiet) {
  if (runShell("command -v script").status != 0) GTEST_SKIP() << "no 'script' to give the packer a terminal";
  ScratchFolder folder;
  writeFile(folder / "app/app.exe", programImage(2) + fixtures::textBytes(500000, 1));
  auto onTerminal = [&](const std::string& out, const std::string& extra) {
    std::string command = shellQuote(packPath()) + " build " + shellQuote((folder / "app").string()) +
                          " --main app.exe --level 3 --version 1 --name Acme.App -o " + shellQuote((folder / out).string()) +
                          extra;
    return runShell("script -qec " + shellQuote(command) + " /dev/null");
  };
  CommandResult shown = onTerminal("1.exe", "");
  EXPECT_EQ(shown.status, 0) << shown.err;
  EXPECT_NE(shown.out.find("Packing ["), std::string::npos) << shown.out;
  EXPECT_NE(shown.out.find("1.exe: executable of "), std::string::npos) << shown.out;
  CommandResult quiet = onTerminal("2.exe", " -q");
  EXPECT_EQ(quiet.status, 0) << quiet.err;
  EXPECT_EQ(quiet.out, "");
  EXPECT_EQ(readFile(folder / "1.exe"), readFile(folder / "2.exe"));
}

}  // namespace
