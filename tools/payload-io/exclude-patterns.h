// The files a build leaves out of an application folder (--exclude): path
// patterns matched against each path relative to the folder, with '/' as
// the separator on every system, so that one command line gives the same
// payload on Linux and on Windows. '*' stands for any part of one name, '?'
// for one character of it, and '**' as a whole segment for any number of
// folders. Names compare as Windows compares them, ignoring case.
#pragma once
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace onefile {

class ExcludePatterns {
 public:
  // Why the text is no pattern (to follow "--exclude 'x' "), or nullopt.
  static std::optional<std::string> problem(std::string_view pattern);

  // Takes a pattern that problem() passed.
  void add(std::string pattern);
  size_t size() const { return patterns_.size(); }

  // Whether an entry is left out: a file that a pattern matches, or a folder
  // that a pattern matches or whose every file it matches ("tests/**"), with
  // all it holds. Notes which pattern matched.
  bool excludes(const std::string& relative, bool isFolder);
  // Whether a pattern matches the path, without noting it.
  bool matches(const std::string& relative) const;

  // The patterns that left nothing out, as given.
  std::vector<std::string> unused() const;

 private:
  struct Pattern {
    std::string given;
    std::vector<std::u16string> segments;  // case-folded
    bool used = false;
  };
  std::vector<Pattern> patterns_;
};

}  // namespace onefile
