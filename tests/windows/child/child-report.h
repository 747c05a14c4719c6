// The test child's report (test-child.cpp), read back: every "key value" line
// with its escapes undone, the values of each key in the order written.
#pragma once
#include <windows.h>

#include <map>
#include <string>
#include <vector>

struct ChildReport {
  std::map<std::string, std::vector<std::wstring>> items;
  bool complete = false;  // the closing "end" line was there

  bool has(const std::string& key) const { return items.count(key) != 0; }
  std::vector<std::wstring> values(const std::string& key) const;
  // The key's single value; empty when the key is missing.
  std::wstring value(const std::string& key) const;
};

ChildReport parseChildReport(const std::string& text);

// Waits until the child has put its report file in place and reads it;
// an empty, incomplete report when none came within timeoutMs.
ChildReport waitForChildReport(const std::wstring& path, DWORD timeoutMs = 60000);
