#include "child-report.h"

#include "harness.h"

namespace {

std::string unescaped(const std::string& text) {
  std::string out;
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] != '\\' || i + 1 == text.size()) {
      out += text[i];
      continue;
    }
    char next = text[++i];
    out += next == 'n' ? '\n' : next == 'r' ? '\r' : next;
  }
  return out;
}

}  // namespace

std::vector<std::wstring> ChildReport::values(const std::string& key) const {
  auto found = items.find(key);
  return found == items.end() ? std::vector<std::wstring>{} : found->second;
}

std::wstring ChildReport::value(const std::string& key) const {
  auto found = items.find(key);
  return found == items.end() || found->second.empty() ? std::wstring() : found->second.front();
}

ChildReport parseChildReport(const std::string& text) {
  ChildReport report;
  size_t start = 0;
  while (start < text.size()) {
    size_t end = text.find('\n', start);
    if (end == std::string::npos) end = text.size();
    std::string line = text.substr(start, end - start);
    start = end + 1;
    if (line == "end") {
      report.complete = true;
      continue;
    }
    size_t space = line.find(' ');
    if (space == std::string::npos) continue;
    report.items[line.substr(0, space)].push_back(harness::widen(unescaped(line.substr(space + 1))));
  }
  return report;
}

ChildReport waitForChildReport(const std::wstring& path, DWORD timeoutMs) {
  for (DWORD waited = 0; waited < timeoutMs; waited += 20) {
    if (harness::fileExists(path)) return parseChildReport(harness::readFile(path));
    Sleep(20);
  }
  return {};
}
