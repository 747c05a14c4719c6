// A command given as one text (build --sign-command), split into its words
// as the system's own users write one: on Linux as a shell splits quoted
// words, on Windows as CommandLineToArgvW does. Nothing is expanded ($HOME,
// %PATH%, * and ; stay as they are) and no shell ever runs the words.
#pragma once
#include <stdexcept>
#include <string>
#include <vector>

namespace onefile {

// Throws CommandWordsError for a quote left open or a text of no word.
std::vector<std::string> splitCommandWords(const std::string& text);

// The two rules, whatever the system, for their tests.
// Quoted as a POSIX shell quotes: '...' takes everything as it is; "..."
// and an unquoted \ escape the next character (in "...", only $ ` " \ and
// a line end).
std::vector<std::string> splitShellWords(const std::string& text);
// CommandLineToArgvW's: the first word ends at a blank or, quoted, at the
// next quote; in the others, 2n backslashes and a quote give n backslashes
// and open or close a quote, 2n+1 give n and a quote, and a run of quotes
// inside a quote gives one quote for each three.
std::vector<std::string> splitWindowsWords(const std::string& text);

class CommandWordsError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

}  // namespace onefile
