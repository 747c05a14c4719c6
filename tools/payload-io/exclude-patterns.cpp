#include "payload-io/exclude-patterns.h"

#include "host/utf.h"
#include "payload-io/windows-names.h"

namespace onefile {
namespace {

constexpr std::u16string_view ANY_FOLDERS = u"**";

std::vector<std::u16string_view> segmentsOf(std::u16string_view path) {
  std::vector<std::u16string_view> segments;
  for (size_t start = 0;;) {
    size_t slash = path.find(u'/', start);
    segments.push_back(path.substr(start, slash == std::u16string_view::npos ? slash : slash - start));
    if (slash == std::u16string_view::npos) return segments;
    start = slash + 1;
  }
}

// A path's text to match: case-folded UTF-16. A name that is not UTF-8 (which
// the scan refuses unless it is left out) is taken byte by byte.
std::u16string matchKey(std::string_view path) {
  std::optional<std::u16string> wide = utf8ToUtf16(path);
  if (!wide) wide = std::u16string(path.begin(), path.end());
  return caseFoldKey(*wide);
}

bool isHighSurrogate(char16_t unit) { return unit >= 0xD800 && unit <= 0xDBFF; }

// The units from `at` that make one character: two for a surrogate pair.
size_t characterUnits(std::u16string_view name, size_t at) {
  return at + 1 < name.size() && isHighSurrogate(name[at]) ? 2 : 1;
}

// One name against one segment of '*' and '?': the usual walk that goes back
// to the last '*' on a mismatch, linear for the names folders hold.
bool segmentMatches(std::u16string_view pattern, std::u16string_view name) {
  size_t p = 0, n = 0, starP = std::u16string_view::npos, starN = 0;
  while (n < name.size()) {
    if (p < pattern.size() && pattern[p] == u'*') {
      starP = p++;
      starN = n;
    } else if (p < pattern.size() && (pattern[p] == u'?' || pattern[p] == name[n])) {
      n += pattern[p] == u'?' ? characterUnits(name, n) : 1;
      ++p;
    } else if (starP != std::u16string_view::npos) {
      p = starP + 1;
      n = starN += characterUnits(name, starN);
    } else {
      return false;
    }
  }
  while (p < pattern.size() && pattern[p] == u'*') ++p;
  return p == pattern.size();
}

// Segments against names, '**' taking any number of names (one or more at
// the end of a pattern): matched[i][j] tells whether pattern segments from i
// match names from j.
bool pathMatches(const std::vector<std::u16string>& pattern, size_t patternEnd,
                 const std::vector<std::u16string_view>& names) {
  std::vector<std::vector<char>> matched(patternEnd + 1, std::vector<char>(names.size() + 1, 0));
  matched[patternEnd][names.size()] = 1;
  for (size_t i = patternEnd; i-- > 0;)
    for (size_t j = names.size() + 1; j-- > 0;) {
      if (pattern[i] == ANY_FOLDERS && i > 0 && i + 1 == pattern.size() && patternEnd == pattern.size())
        matched[i][j] = j < names.size();  // "tests/**": what tests holds, not a file called tests
      else if (pattern[i] == ANY_FOLDERS)
        matched[i][j] = matched[i + 1][j] || (j < names.size() && matched[i][j + 1]);
      else
        matched[i][j] = j < names.size() && segmentMatches(pattern[i], names[j]) && matched[i + 1][j + 1];
    }
  return matched[0][0] != 0;
}

}  // namespace

std::optional<std::string> ExcludePatterns::problem(std::string_view pattern) {
  if (pattern.empty()) return "is empty";
  if (pattern.find('\\') != std::string_view::npos)
    return "holds '\\': patterns separate folders with '/' on every system, as in tests/**";
  if (pattern.front() == '/')
    return "starts with '/': patterns are matched against paths inside the folder, as in **/*.pdb";
  if (!utf8ToUtf16(pattern)) return "is not UTF-8 text";
  size_t start = 0;
  for (;;) {
    size_t slash = pattern.find('/', start);
    std::string_view segment = pattern.substr(start, slash == std::string_view::npos ? slash : slash - start);
    bool last = slash == std::string_view::npos;
    if (segment.empty() && !last) return "holds an empty folder name ('//')";
    if (segment == "." || segment == "..") return "holds '" + std::string(segment) + "', which no path inside the folder holds";
    if (segment != "**" && segment.find("**") != std::string_view::npos)
      return "holds '**' inside a name: '**' stands for whole folders, as in **/*.pdb; '*' for part of a name";
    if (last) return std::nullopt;
    start = slash + 1;
  }
}

void ExcludePatterns::add(std::string pattern) {
  Pattern added;
  added.given = pattern;
  // "build/" names the folder, as "build" does.
  if (pattern.size() > 1 && pattern.back() == '/') pattern.pop_back();
  std::u16string key = matchKey(pattern);
  for (std::u16string_view segment : segmentsOf(key)) added.segments.emplace_back(segment);
  patterns_.push_back(std::move(added));
}

bool ExcludePatterns::matches(const std::string& relative) const {
  std::u16string key = matchKey(relative);
  std::vector<std::u16string_view> names = segmentsOf(key);
  for (const Pattern& pattern : patterns_)
    if (pathMatches(pattern.segments, pattern.segments.size(), names)) return true;
  return false;
}

bool ExcludePatterns::excludes(const std::string& relative, bool isFolder) {
  std::u16string key = matchKey(relative);
  std::vector<std::u16string_view> names = segmentsOf(key);
  bool excluded = false;
  for (Pattern& pattern : patterns_) {
    const std::vector<std::u16string>& segments = pattern.segments;
    bool coversFolder = isFolder && segments.size() > 1 && segments.back() == ANY_FOLDERS &&
                        pathMatches(segments, segments.size() - 1, names);
    if (coversFolder || pathMatches(segments, segments.size(), names)) excluded = pattern.used = true;
  }
  return excluded;
}

std::vector<std::string> ExcludePatterns::unused() const {
  std::vector<std::string> left;
  for (const Pattern& pattern : patterns_)
    if (!pattern.used) left.push_back(pattern.given);
  return left;
}

}  // namespace onefile
