// Which files of an application folder become records, under which names and
// in which order, and which folders are refused.
#include <gtest/gtest.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <sys/un.h>
#include <unistd.h>

#include "payload-io/app-folder.h"
#include "host/pack-error.h"
#include "payload-io/windows-names.h"
#include "test-support.h"

namespace {

using namespace testing_support;
using onefile::FolderFile;
using onefile::PackError;

std::vector<std::u16string> recordNames(const std::vector<FolderFile>& files) {
  std::vector<std::u16string> names;
  for (const FolderFile& file : files) names.push_back(file.recordName);
  return names;
}

// The PackError's text for scanning root, or "" when the scan succeeds.
std::string scanFailure(const fs::path& root, const std::string& main = "app.exe") {
  try {
    onefile::scanAppFolder(root, main);
  } catch (const PackError& error) {
    return error.what();
  }
  return "";
}

TEST(RecordName, RefusesWhatWindowsCannotTakeAsAFileName) {
  for (std::u16string bad : {u"a<b", u"a>b", u"a:b", u"a\"b", u"a\\b", u"a|b", u"a?b", u"a*b", u"tab\there",
                             u"\x01", u"x\x1f"})
    EXPECT_TRUE(onefile::componentProblem(bad));
  for (std::u16string bad : {u"name.", u"name ", u"..."}) EXPECT_TRUE(onefile::componentProblem(bad));
  for (std::u16string good : {u"a.b.c", u" leading space", u"caf\u00e9", u"\U0001F600", u"del\x7f", u".hidden",
                              u"CONSOLE", u"COM10", u"NULL.txt", u"xcon", u"com"})
    EXPECT_FALSE(onefile::componentProblem(good));
}

TEST(RecordName, KnowsTheReservedDeviceNamesWithOrWithoutExtensionInAnyCase) {
  for (std::u16string reserved : {u"CON", u"con", u"Nul.txt", u"prn.tar.gz", u"AUX", u"COM1", u"com9.log", u"LPT0",
                                  u"lpt5", u"COM\u00b9", u"AUX .txt"})
    EXPECT_TRUE(onefile::isReservedDeviceName(reserved));
  for (std::u16string ordinary : {u"CONSOLE", u"COM10", u"COMA", u"NULL", u"xnul.txt", u"LPT", u".con"})
    EXPECT_FALSE(onefile::isReservedDeviceName(ordinary));
}

TEST(RecordName, FoldsCaseAsWindowsComparesNames) {
  EXPECT_EQ(onefile::caseFoldKey(u"Lib\\\u00c4rger.DLL"), onefile::caseFoldKey(u"lib\\\u00e4RGER.dll"));
  EXPECT_EQ(onefile::caseFoldKey(u"\u0394\u03b5\u03bb\u03c4\u03b1"), onefile::caseFoldKey(u"\u03b4\u0395\u039b\u03a4\u0391"));
  EXPECT_NE(onefile::caseFoldKey(u"a.txt"), onefile::caseFoldKey(u"b.txt"));
}

TEST(ScanAppFolder, PutsTheMainProgramFirstAndTheRestInComponentOrder) {
  ScratchFolder folder;
  for (const char* name : {"b.txt", "a-b", "a/z.txt", "a/y/q", "zz.exe", "app.exe", ".hidden", "caf\xc3\xa9/\xf0\x9f\x98\x80"})
    writeFile(folder / name, name);
  std::vector<FolderFile> files = onefile::scanAppFolder(folder.path(), "app.exe");
  std::vector<std::u16string> expected = {u"app.exe", u".hidden",  u"a\\y\\q", u"a\\z.txt",
                                          u"a-b",     u"b.txt",    u"caf\u00e9\\\U0001F600", u"zz.exe"};
  EXPECT_EQ(recordNames(files), expected);
  EXPECT_EQ(files[2].relative, "a/y/q");
  EXPECT_EQ(files[2].size, 5u);
}

TEST(ScanAppFolder, FollowsLinksThatStayInsideTheFolderUnderTheLinksName) {
  ScratchFolder folder;
  writeFile(folder / "app.exe", "main");
  writeFile(folder / "real/data.txt", "data");
  fs::create_symlink("real/data.txt", folder / "alias.txt");
  fs::create_directory_symlink("real", folder / "linked");
  std::vector<FolderFile> files = onefile::scanAppFolder(folder.path(), "app.exe");
  std::vector<std::u16string> expected = {u"app.exe", u"alias.txt", u"linked\\data.txt", u"real\\data.txt"};
  EXPECT_EQ(recordNames(files), expected);
  EXPECT_EQ(files[1].size, 4u);
}

TEST(ScanAppFolder, RefusesLinksThatLeaveTheFolderDangleOrLoop) {
  ScratchFolder outside("-outside");
  writeFile(outside / "secret", "x");
  struct Case {
    const char* link;
    fs::path target;
    bool directory;
    const char* reason;
  } cases[] = {
      {"out", outside / "secret", false, "leads out of the folder"},
      {"up", "../", true, "leads out of the folder"},
      {"gone", "missing-target", false, "target does not exist"},
      {"sub/loop", "..", true, "loop"},
      {"self", "self", false, "loop"},
  };
  for (const Case& c : cases) {
    ScratchFolder folder;
    writeFile(folder / "app.exe", "main");
    fs::create_directories((folder / c.link).parent_path());
    if (c.directory) fs::create_directory_symlink(c.target, folder / c.link);
    else fs::create_symlink(c.target, folder / c.link);
    std::string failure = scanFailure(folder.path());
    EXPECT_NE(failure.find((folder / c.link).string() + ": "), std::string::npos) << failure;
    EXPECT_NE(failure.find(c.reason), std::string::npos) << failure;
  }
}

TEST(ScanAppFolder, RefusesSocketsPipesAndDevices) {
  ScratchFolder folder;
  writeFile(folder / "app.exe", "main");
  ASSERT_EQ(mkfifo((folder / "pipe").c_str(), 0600), 0);
  EXPECT_NE(scanFailure(folder.path()).find("/pipe: is a named pipe"), std::string::npos);
  fs::remove(folder / "pipe");

  int sock = socket(AF_UNIX, SOCK_STREAM, 0);
  sockaddr_un address = {};
  address.sun_family = AF_UNIX;
  std::string socketPath = (folder / "sock").string();
  ASSERT_LT(socketPath.size(), sizeof address.sun_path);
  std::copy(socketPath.begin(), socketPath.end(), address.sun_path);
  ASSERT_EQ(bind(sock, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
  EXPECT_NE(scanFailure(folder.path()).find("/sock: is a socket"), std::string::npos);
  close(sock);
  fs::remove(folder / "sock");

  if (mknod((folder / "null").c_str(), S_IFCHR | 0600, makedev(1, 3)) == 0) {  // needs privileges
    EXPECT_NE(scanFailure(folder.path()).find("/null: is a character device"), std::string::npos);
  }
}

TEST(ScanAppFolder, RefusesNamesLongerThan1023CodeUnits) {
  ScratchFolder folder;
  writeFile(folder / "app.exe", "main");
  std::string component(200, 'd');  // five levels of 200, four separators: 1004 units
  std::string relative = component + "/" + component + "/" + component + "/" + component + "/" + component;
  writeFile(folder / (relative + "/" + std::string(18, 'f')), "x");
  EXPECT_EQ(scanFailure(folder.path()), "");
  writeFile(folder / (relative + "/" + std::string(19, 'f')), "x");
  EXPECT_NE(scanFailure(folder.path()).find("1024 UTF-16 code units long; the bootstrap takes at most 1023"),
            std::string::npos);
}

TEST(ScanAppFolder, RefusesNamesThatDifferOnlyInCase) {
  {
    ScratchFolder folder;
    writeFile(folder / "app.exe", "main");
    writeFile(folder / "Data/Read\xc3\x84.txt", "1");
    writeFile(folder / "data/read\xc3\xa4.TXT", "2");
    EXPECT_NE(scanFailure(folder.path()).find("differs only in case"), std::string::npos);
  }
  {
    ScratchFolder folder;
    writeFile(folder / "app.exe", "main");
    writeFile(folder / "Lib", "a file");
    writeFile(folder / "lib/x.dll", "in a folder");
    EXPECT_NE(scanFailure(folder.path()).find("/Lib: has the name of the folder lib"), std::string::npos);
  }
  {  // folders that differ in case merge on Windows; different files in them are fine
    ScratchFolder folder;
    writeFile(folder / "app.exe", "main");
    writeFile(folder / "Lib/a.dll", "1");
    writeFile(folder / "lib/b.dll", "2");
    EXPECT_EQ(scanFailure(folder.path()), "");
  }
}

TEST(ScanAppFolder, NamesEveryFileThatCannotBePackedInOneRun) {
  ScratchFolder folder;
  writeFile(folder / "app.exe", "main");
  for (const char* name : {"a:b", "CON.txt", "x.", "sub./inside", "Lib", "lib/x.dll"}) writeFile(folder / name, "x");
  const std::string root = folder.path().string();
  std::vector<std::string> expected = {
      root + "/CON.txt: the name is a device name that Windows reserves (CON, PRN, AUX, NUL, COM1-9, LPT1-9)",
      root + "/a:b: the name holds ':', which Windows does not allow in file names",
      root + "/sub.: the name ends in a dot, which Windows drops, so the file could not be created under this name",
      root + "/x.: the name ends in a dot, which Windows drops, so the file could not be created under this name",
      root + "/Lib: has the name of the folder lib but for case; on Windows a file and a folder cannot share a name",
  };
  std::vector<std::string> named;
  try {
    onefile::scanAppFolder(folder.path(), "app.exe");
  } catch (const onefile::RefusedFiles& refused) {
    EXPECT_EQ(refused.what(), root + ": 5 files cannot be packed");
    for (const PackError& refusal : refused.refusals()) named.push_back(refusal.what());
  }
  EXPECT_EQ(named, expected);
  // Left out, they are not looked at, and nothing in them is refused ("Lib"
  // is the folder lib too, as on Windows).
  onefile::ExcludePatterns excluded;
  for (const char* pattern : {"a:b", "**/CON.*", "*.", "SUB./**", "Lib"}) excluded.add(pattern);
  EXPECT_EQ(recordNames(onefile::scanAppFolder(folder.path(), "app.exe", excluded)),
            std::vector<std::u16string>{u"app.exe"});
  EXPECT_TRUE(excluded.unused().empty());
}

// Whole paths inside the folder, '/' between folders, case ignored as
// Windows ignores it; '?' is one character, whatever its UTF-16 length.
TEST(ExcludePatterns, MatchWholePathsInsideTheFolder) {
  struct Case {
    const char* pattern;
    const char* path;
    bool isFolder;
    bool excluded;
  } cases[] = {
      {"**/*.pdb", "a.pdb", false, true},          {"**/*.pdb", "x/y/A.PDB", false, true},
      {"*.pdb", "x/a.pdb", false, false},          {"lib/*", "lib/x/y.dll", false, false},
      {"tests/**", "tests", true, true},           {"tests/**", "tests", false, false},
      {"tests/**", "tests/a/b.txt", false, true},  {"**/__pycache__/**", "a/__pycache__", true, true},
      {"build/", "build", true, true},             {"a/**/b", "a/b", false, true},
      {"a/**/b", "a/x/y/b", false, true},          {"a*b*c", "aXbYbZc", false, true},
      {"a*b*c", "aXbYbZ", false, false},           {"?.txt", "\xc3\xa9.txt", false, true},
      {"?.txt", "\xf0\x9f\x98\x80.txt", false, true}, {"?.txt", "ab.txt", false, false},
      {"**", "any/thing", false, true},
  };
  for (const Case& c : cases) {
    onefile::ExcludePatterns patterns;
    ASSERT_FALSE(onefile::ExcludePatterns::problem(c.pattern)) << c.pattern;
    patterns.add(c.pattern);
    EXPECT_EQ(patterns.excludes(c.path, c.isFolder), c.excluded) << c.pattern << " " << c.path;
  }
}

TEST(ScanAppFolder, FindsTheMainProgramInAnyCaseOrNamesTheClosest) {
  ScratchFolder folder;
  for (const char* name : {"7z.exe", "7zFM.exe", "bin/tool.exe", "readme.txt"}) writeFile(folder / name, "x");
  const std::string root = folder.path().string();
  const std::string missing = "no such main program in the folder; did you mean ";
  struct Case {
    std::string given;
    std::string found;    // the record's name, when found
    std::string failure;  // else the message
  } cases[] = {
      {"7z.exe", "7z.exe", ""},
      {"7Z.EXE", "7z.exe", ""},
      {"7zfm.exe", "7zFM.exe", ""},
      {"7za.exe", "", root + "/7za.exe: " + missing + "7z.exe or 7zFM.exe?"},
      {"TOOL.exe", "", root + "/TOOL.exe: " + missing + "bin/tool.exe? The main program must be at the top of the "
                                                         "folder (the guide shows how to start one in a subfolder)"},
  };
  for (const Case& c : cases) {
    std::string onDisk = onefile::mainProgramOnDisk(folder.path(), c.given);
    EXPECT_EQ(scanFailure(folder.path(), onDisk), c.failure) << c.given;
    if (c.failure.empty()) EXPECT_EQ(onefile::scanAppFolder(folder.path(), onDisk).front().relative, c.found);
  }
  ScratchFolder bare;
  writeFile(bare / "data.txt", "x");
  EXPECT_EQ(scanFailure(bare.path(), "app.exe"),
            bare.path().string() + "/app.exe: no such main program in the folder, which holds no .exe at its top");
}

// (Missing folders and main programs are covered with the command's messages.)
TEST(ScanAppFolder, RefusesAFileForAFolderAndAFolderForTheMainProgram) {
  ScratchFolder folder;
  writeFile(folder / "app.exe", "main");
  fs::create_directory(folder / "dir.exe");
  EXPECT_NE(scanFailure(folder / "app.exe").find("/app.exe: not a folder"), std::string::npos);
  EXPECT_NE(scanFailure(folder.path(), "dir.exe").find("/dir.exe: the main program is not a regular file"),
            std::string::npos);
}

TEST(ScanAppFolder, TellsWhichNamesNeedMoreRoomThanALongCacheFolderLeaves) {
  ScratchFolder folder;
  writeFile(folder / "app.exe", "main");
  writeFile(folder / std::string(250, 'n'), "x");
  std::vector<FolderFile> files = onefile::scanAppFolder(folder.path(), "app.exe");
  EXPECT_EQ(onefile::longestCacheFolderFor(files[1].recordName), 4096u - 252u);
  EXPECT_TRUE(onefile::filesTooLongFor(files, 4096 - 252).empty());
  std::vector<const FolderFile*> tooLong = onefile::filesTooLongFor(files, 4096 - 251);
  ASSERT_EQ(tooLong.size(), 1u);
  EXPECT_EQ(tooLong[0], &files[1]);
}

}  // namespace
