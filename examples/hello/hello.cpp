// A console program that reads a file shipped beside it and greets each of
// its arguments; it ends with the number of arguments it greeted.
#include <windows.h>

#include <cstdio>
#include <fstream>
#include <string>

int main(int argc, char** argv) {
  // Wide calls, so that a folder name in any script is found.
  wchar_t path[32768];
  DWORD length = GetModuleFileNameW(nullptr, path, 32768);
  std::wstring folder(path, length);
  folder.erase(folder.find_last_of(L'\\'));
  std::ifstream file((folder + L"\\greeting.txt").c_str());
  std::string greeting;
  if (!std::getline(file, greeting)) {
    std::fprintf(stderr, "hello: cannot read greeting.txt beside the program\n");
    return 100;
  }
  for (int i = 1; i < argc; ++i) std::printf("%s, %s!\n", greeting.c_str(), argv[i]);
  return argc - 1;
}
