#include "payload-io/app-folder.h"

#include <algorithm>
#include <cerrno>
#include <optional>
#include <system_error>

#include "diag/limits.h"
#include "host/host-system.h"
#include "host/pack-error.h"
#include "payload/format.h"
#include "payload-io/windows-names.h"
#include "host/utf.h"

namespace fs = std::filesystem;

namespace onefile {
namespace {

constexpr char HOST_SEPARATOR = static_cast<char>(fs::path::preferred_separator);
// How many files a missing main program's message suggests.
constexpr size_t MAX_MAIN_PROGRAM_CANDIDATES = 3;

struct Walk {
  fs::path root;
  std::string mainProgram;
  ExcludePatterns* excluded;
  fs::path canonicalRoot;
  std::vector<fs::path> openFolders;  // canonical folders from the root down to the current one
  std::vector<FolderFile> files;
  std::vector<PackError> refusals;  // every file that cannot be packed, in walk order
};

// One refusal stands as it is; several are reported together.
void throwRefusals(const fs::path& root, std::vector<PackError> refusals) {
  if (refusals.size() == 1) throw refusals.front();
  if (!refusals.empty()) throw RefusedFiles(displayName(root.u8string()), std::move(refusals));
}

bool isWithin(const fs::path& path, const fs::path& folder) {
  auto [end, unused] = std::mismatch(folder.begin(), folder.end(), path.begin(), path.end());
  return end == folder.end();
}

std::string typeName(fs::file_type type) {
  switch (type) {
    case fs::file_type::socket: return "a socket";
    case fs::file_type::fifo: return "a named pipe";
    case fs::file_type::block: return "a block device";
    case fs::file_type::character: return "a character device";
    default: return "not a regular file";
  }
}

// Where a link inside the folder leads, or why it is refused.
fs::path followLink(const Walk& walk, const fs::path& link, const std::string& shown) {
  std::error_code error;
  fs::path target = fs::canonical(link, error);
  if (error) {
    if (error.value() == ELOOP) throw PackError(shown, "symbolic link that leads around in a loop");
    throw PackError(shown, "symbolic link whose target does not exist");
  }
  if (!isWithin(target, walk.canonicalRoot))
    throw PackError(shown, "symbolic link that leads out of the folder (to " + displayName(target.u8string()) +
                               "); only links that stay inside the folder are followed");
  return target;
}

void walkFolder(Walk& walk, const fs::path& folder, const std::string& relativeFolder);
void visitCheckedEntry(Walk& walk, const fs::path& path, const std::string& relative);

// An entry that cannot be packed is noted and left out, so that one run
// names every such file; a folder's problem stands for all that it holds.
void visitEntry(Walk& walk, const fs::path& path, const std::string& relative) {
  std::error_code error;
  bool excluded = walk.excluded->excludes(relative, fs::is_directory(path, error));
  if (excluded && relative != walk.mainProgram) return;
  try {
    visitCheckedEntry(walk, path, relative);
  } catch (const PackError& refusal) {
    walk.refusals.push_back(refusal);
  }
}

void visitCheckedEntry(Walk& walk, const fs::path& path, const std::string& relative) {
  std::string shown = displayPath(walk.root, relative);
  std::string component = path.filename().u8string();
  std::optional<std::u16string> wide = utf8ToUtf16(component);
  if (!wide) throw PackError(shown, "the name is not valid UTF-8, so it has no Windows form");
  if (std::optional<std::string> problem = componentProblem(*wide)) throw PackError(shown, *problem);

  fs::file_status status = fs::symlink_status(path);
  fs::path canonical = path;
  if (fs::is_symlink(status)) {
    canonical = followLink(walk, path, shown);
    status = fs::status(canonical);
  }
  if (fs::is_directory(status)) {
    fs::path folder = fs::canonical(canonical);
    if (std::find(walk.openFolders.begin(), walk.openFolders.end(), folder) != walk.openFolders.end())
      throw PackError(shown, "symbolic link that leads back into a folder containing it (a loop)");
    walk.openFolders.push_back(folder);
    walkFolder(walk, path, relative);
    walk.openFolders.pop_back();
    return;
  }
  if (!fs::is_regular_file(status))
    throw PackError(shown, "is " + typeName(status.type()) + "; only regular files can be packed");
  FolderFile file;
  file.source = path;
  file.relative = relative;
  file.size = fs::file_size(path);
  walk.files.push_back(std::move(file));
}

void walkFolder(Walk& walk, const fs::path& folder, const std::string& relativeFolder) {
  std::error_code error;
  std::vector<std::string> names = folderEntryNames(folder, error);
  if (error) throw PackError(displayPath(walk.root, relativeFolder), "cannot read the folder: " + error.message());
  std::sort(names.begin(), names.end());  // problems are named in the same order on every run
  for (const std::string& name : names)
    visitEntry(walk, folder / fs::u8path(name), relativeFolder.empty() ? name : relativeFolder + "/" + name);
}

std::u16string recordNameOf(const std::string& relative) {
  std::u16string name = *utf8ToUtf16(relative);  // every component was checked
  std::replace(name.begin(), name.end(), u'/', u'\\');
  return name;
}

// Names compare component by component, so that a folder's files stay together.
bool recordOrder(const FolderFile& a, const FolderFile& b) {
  std::u16string_view x = a.recordName, y = b.recordName;
  for (;;) {
    std::u16string_view xHead = x.substr(0, x.find(u'\\')), yHead = y.substr(0, y.find(u'\\'));
    if (xHead != yHead) return xHead < yHead;
    if (xHead.size() == x.size() || yHead.size() == y.size()) return x.size() < y.size();
    x.remove_prefix(xHead.size() + 1);
    y.remove_prefix(yHead.size() + 1);
  }
}

// Windows' file systems ignore case: two names that differ only in case would
// overwrite each other, and a file cannot share its name with a folder. Names
// too long for the bootstrap are refused here too.
void checkRecordNames(const fs::path& root, const std::vector<FolderFile>& files, std::vector<PackError>* refusals) {
  std::vector<std::u16string> names;
  for (const FolderFile& file : files) {
    if (std::optional<std::string> problem = recordNameProblem(file.recordName))
      refusals->emplace_back(displayPath(root, file.relative), *problem);
    names.push_back(file.recordName);
  }
  std::optional<NameCollision> collision = findCaseCollision(names);
  if (!collision) return;
  std::string other = utf16ToUtf8(collision->other);
  std::replace(other.begin(), other.end(), '\\', '/');
  const FolderFile& file = files[collision->index];
  if (collision->isFolder)
    refusals->emplace_back(displayPath(root, file.relative), "has the name of the folder " + displayName(other) +
                                                          " but for case; on Windows a file and a folder cannot share a name");
  else
    refusals->emplace_back(displayPath(root, file.relative), "differs only in case from " + displayName(other) +
                                                                 "; on Windows they would overwrite each other");
}

// The main program is named on the command line: its form is checked before
// the folder is read, its presence after.
void checkMainProgramForm(const fs::path& root, const std::string& mainProgram) {
  if (mainProgram.empty()) throw PackError(displayName(root.u8string()), "no main program given");
  std::string shown = displayPath(root, mainProgram);
  if (mainProgram.find_first_of("/\\") != std::string::npos)
    throw PackError(shown, "the main program must be at the top level of the folder");
  if (!hasExeExtension(std::string_view(mainProgram))) throw PackError(shown, "the main program must be an .exe file");
}

// The number of single-unit insertions, deletions and substitutions that turn
// a into b: how far a mistyped name is from a file's.
size_t editDistance(std::u16string_view a, std::u16string_view b) {
  std::vector<size_t> row(b.size() + 1);
  for (size_t j = 0; j <= b.size(); ++j) row[j] = j;
  for (size_t i = 1; i <= a.size(); ++i) {
    size_t diagonal = row[0];
    row[0] = i;
    for (size_t j = 1; j <= b.size(); ++j) {
      size_t above = row[j];
      row[j] = std::min({above + 1, row[j - 1] + 1, diagonal + (a[i - 1] == b[j - 1] ? 0 : 1)});
      diagonal = above;
    }
  }
  return row[b.size()];
}

// The folder's files the user may have meant by a main program it does not
// have: one of that name in a subfolder, else the programs at its top,
// closest first.
std::vector<std::string> mainProgramCandidates(const std::vector<FolderFile>& files, const std::string& mainProgram) {
  std::u16string wanted = caseFoldKey(utf8ToUtf16(mainProgram).value_or(u""));
  std::vector<std::pair<size_t, std::string>> inSubfolders, atTop;
  for (const FolderFile& file : files) {
    std::u16string_view name = file.recordName;
    size_t cut = name.rfind(u'\\');
    if (cut != std::u16string_view::npos) {
      if (caseFoldKey(name.substr(cut + 1)) == wanted) inSubfolders.emplace_back(0, file.relative);
    } else if (hasExeExtension(name)) {
      atTop.emplace_back(editDistance(caseFoldKey(name), wanted), file.relative);
    }
  }
  std::vector<std::pair<size_t, std::string>>& ranked = inSubfolders.empty() ? atTop : inSubfolders;
  std::stable_sort(ranked.begin(), ranked.end(), [](const auto& a, const auto& b) { return a.first < b.first; });
  std::vector<std::string> candidates;
  for (size_t i = 0; i < ranked.size() && i < MAX_MAIN_PROGRAM_CANDIDATES; ++i) {
    std::string shown = displayName(ranked[i].second);
    std::replace(shown.begin(), shown.end(), '/', HOST_SEPARATOR);
    candidates.push_back(shown);
  }
  return candidates;
}

std::string missingMainProgramReason(const std::vector<FolderFile>& files, const std::string& mainProgram) {
  std::vector<std::string> candidates = mainProgramCandidates(files, mainProgram);
  if (candidates.empty()) return "no such main program in the folder, which holds no .exe at its top";
  std::string named = candidates.front();
  for (size_t i = 1; i < candidates.size(); ++i) named += (i + 1 == candidates.size() ? " or " : ", ") + candidates[i];
  std::string reason = "no such main program in the folder; did you mean " + named + "?";
  if (candidates.front().find(HOST_SEPARATOR) != std::string::npos)
    reason += " The main program must be at the top of the folder (the guide shows how to start one in a subfolder)";
  return reason;
}

void putMainProgramFirst(const fs::path& root, const std::string& mainProgram, std::vector<FolderFile>* files) {
  auto main = std::find_if(files->begin(), files->end(),
                           [&](const FolderFile& file) { return file.relative == mainProgram; });
  if (main == files->end()) {
    std::error_code error;
    std::string shown = displayPath(root, mainProgram);
    if (fs::exists(root / mainProgram, error)) throw PackError(shown, "the main program is not a regular file");
    throw PackError(shown, missingMainProgramReason(*files, mainProgram));
  }
  std::rotate(files->begin(), main, main + 1);
}

}  // namespace

std::string mainProgramOnDisk(const fs::path& root, const std::string& mainProgram) {
  std::optional<std::u16string> wanted = utf8ToUtf16(mainProgram);
  if (!wanted || mainProgram.find_first_of("/\\") != std::string::npos) return mainProgram;
  std::error_code error;
  std::vector<std::string> names = folderEntryNames(root, error);
  if (error || std::find(names.begin(), names.end(), mainProgram) != names.end()) return mainProgram;
  std::sort(names.begin(), names.end());
  std::u16string key = caseFoldKey(*wanted);
  for (const std::string& name : names) {
    std::optional<std::u16string> wide = utf8ToUtf16(name);
    if (wide && caseFoldKey(*wide) == key) return name;
  }
  return mainProgram;
}

std::optional<std::string> likelyMainProgram(const fs::path& root) {
  std::error_code error;
  std::vector<std::string> programs;
  for (const std::string& name : folderEntryNames(root, error))
    if (hasExeExtension(std::string_view(name)) && fs::is_regular_file(root / fs::u8path(name), error))
      programs.push_back(name);
  if (programs.size() == 1) return programs.front();
  fs::path folder = fs::absolute(root, error).lexically_normal();
  if (folder.filename().empty()) folder = folder.parent_path();
  std::u16string namedLikeFolder = caseFoldKey(utf8ToUtf16(folder.filename().u8string() + ".exe").value_or(u""));
  for (const std::string& name : programs)
    if (caseFoldKey(utf8ToUtf16(name).value_or(u"")) == namedLikeFolder) return name;
  return std::nullopt;
}

// Shown with the host's own separator, so a Windows user sees Windows paths.
std::string displayPath(const fs::path& root, const std::string& relative) {
  constexpr char separator = HOST_SEPARATOR;
  std::string base = root.u8string();
  if (relative.empty()) return displayName(base);
  if (!base.empty() && base.back() != '/' && base.back() != separator) base += separator;
  std::string shown = relative;
  std::replace(shown.begin(), shown.end(), '/', separator);
  return displayName(base + shown);
}

std::vector<FolderFile> scanAppFolder(const fs::path& root, const std::string& mainProgram) {
  ExcludePatterns none;
  return scanAppFolder(root, mainProgram, none);
}

std::vector<FolderFile> scanAppFolder(const fs::path& root, const std::string& mainProgram, ExcludePatterns& excluded) {
  std::error_code error;
  fs::file_status status = fs::status(root, error);
  if (!fs::exists(status)) throw PackError(displayName(root.u8string()), "no such folder");
  if (!fs::is_directory(status)) throw PackError(displayName(root.u8string()), "not a folder");
  checkMainProgramForm(root, mainProgram);
  Walk walk;
  walk.root = root;
  walk.mainProgram = mainProgram;
  walk.excluded = &excluded;
  walk.canonicalRoot = fs::canonical(root);
  walk.openFolders.push_back(walk.canonicalRoot);
  walkFolder(walk, root, "");
  for (FolderFile& file : walk.files) file.recordName = recordNameOf(file.relative);
  checkRecordNames(root, walk.files, &walk.refusals);
  throwRefusals(root, std::move(walk.refusals));
  std::sort(walk.files.begin(), walk.files.end(), recordOrder);
  putMainProgramFirst(root, mainProgram, &walk.files);
  return std::move(walk.files);
}

size_t longestCacheFolderFor(const std::u16string& recordName) {
  size_t needed = 1 + recordName.size() + 1;  // backslash, name, terminating zero
  return needed >= PATH_CAPACITY ? 0 : PATH_CAPACITY - needed;
}

std::vector<const FolderFile*> filesTooLongFor(const std::vector<FolderFile>& files, size_t cacheFolderUnits) {
  std::vector<const FolderFile*> tooLong;
  for (const FolderFile& file : files)
    if (longestCacheFolderFor(file.recordName) < cacheFolderUnits) tooLong.push_back(&file);
  return tooLong;
}

}  // namespace onefile
