// A console program that reads a file shipped beside it and greets each of
// its arguments; it ends with the number of arguments it greeted.
#include <windows.h>

#include <cstdio>
#include <fstream>
#include <string>

int main(int argc, char** argv) {
  char path[MAX_PATH];
  DWORD length = GetModuleFileNameA(nullptr, path, MAX_PATH);
  std::string folder(path, length);
  folder.erase(folder.find_last_of('\\'));
  std::ifstream file(folder + "\\greeting.txt");
  std::string greeting;
  if (!std::getline(file, greeting)) {
    std::fprintf(stderr, "hello: cannot read %s\\greeting.txt\n", folder.c_str());
    return 100;
  }
  for (int i = 1; i < argc; ++i) std::printf("%s, %s!\n", greeting.c_str(), argv[i]);
  return argc - 1;
}
