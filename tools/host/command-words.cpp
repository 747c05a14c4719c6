#include "host/command-words.h"

namespace onefile {
namespace {

bool isShellBlank(char c) { return c == ' ' || c == '\t' || c == '\n'; }
bool isWindowsBlank(char c) { return c == ' ' || c == '\t'; }

// The characters that a backslash escapes inside a shell's double quotes.
constexpr char ESCAPED_IN_DOUBLE_QUOTES[] = "$`\"\\\n";

std::vector<std::string> atLeastOneWord(std::vector<std::string> words) {
  if (words.empty()) throw CommandWordsError("names no program");
  return words;
}

}  // namespace

std::vector<std::string> splitShellWords(const std::string& text) {
  std::vector<std::string> words;
  std::string word;
  bool inWord = false;
  for (size_t i = 0; i < text.size(); ++i) {
    char c = text[i];
    if (isShellBlank(c)) {
      if (inWord) words.push_back(std::move(word));
      word.clear();
      inWord = false;
      continue;
    }
    if (c == '\\' && i + 1 < text.size() && text[i + 1] == '\n') {  // a line continued
      ++i;
      continue;
    }
    inWord = true;
    if (c == '\\') {
      if (++i == text.size()) throw CommandWordsError("ends with a \\ that escapes nothing");
      word += text[i];
    } else if (c == '\'') {
      size_t end = text.find('\'', i + 1);
      if (end == std::string::npos) throw CommandWordsError("a ' quote is not closed");
      word += text.substr(i + 1, end - i - 1);
      i = end;
    } else if (c == '"') {
      for (++i;; ++i) {
        if (i == text.size()) throw CommandWordsError("a \" quote is not closed");
        if (text[i] == '"') break;
        if (text[i] == '\\' && i + 1 < text.size() && std::string(ESCAPED_IN_DOUBLE_QUOTES).find(text[i + 1]) != std::string::npos) {
          if (text[++i] != '\n') word += text[i];
        } else {
          word += text[i];
        }
      }
    } else {
      word += c;
    }
  }
  if (inWord) words.push_back(std::move(word));
  return atLeastOneWord(std::move(words));
}

std::vector<std::string> splitWindowsWords(const std::string& text) {
  size_t i = 0;
  while (i < text.size() && isWindowsBlank(text[i])) ++i;  // a program's name never starts with a blank
  if (i == text.size()) return atLeastOneWord({});
  std::vector<std::string> words(1);
  // The program's name: quotes only delimit it, and backslashes are its own.
  if (text[i] == '"') {
    size_t end = text.find('"', i + 1);
    words[0] = text.substr(i + 1, end == std::string::npos ? std::string::npos : end - i - 1);
    i = end == std::string::npos ? text.size() : end + 1;
  } else {
    while (i < text.size() && !isWindowsBlank(text[i])) words[0] += text[i++];
  }
  while (i < text.size() && isWindowsBlank(text[i])) ++i;
  if (i == text.size()) return words;
  words.emplace_back();
  size_t quotes = 0, backslashes = 0;  // quotes: 1 inside a quote, 0 outside
  while (i < text.size()) {
    char c = text[i];
    if (isWindowsBlank(c) && quotes == 0) {
      backslashes = 0;
      while (i < text.size() && isWindowsBlank(text[i])) ++i;
      if (i < text.size()) words.emplace_back();
    } else if (c == '\\') {
      words.back() += c;
      ++backslashes;
      ++i;
    } else if (c == '"') {
      std::string& word = words.back();
      word.resize(word.size() - backslashes / 2 - backslashes % 2);
      if (backslashes % 2 == 0) ++quotes;
      else word += '"';
      backslashes = 0;
      for (++i; i < text.size() && text[i] == '"'; ++i)
        if (++quotes == 3) {
          word += '"';
          quotes = 0;
        }
      if (quotes == 2) quotes = 0;
    } else {
      words.back() += c;
      backslashes = 0;
      ++i;
    }
  }
  return words;
}

}  // namespace onefile
