// A secret handed to a program the tool runs (the key's password for the
// signing program), which reads it from a named file: a file of the private
// temporary folder that only this user can read (mode 0600 in a folder of
// mode 0700; on Windows, access for this user alone, from the folder),
// never a command line, and removed when the object goes (an interrupt
// removes it with its folder).
// A file rather than a pipe on every system: the signing program's Windows
// build maps the file it is given, which a pipe cannot be.
#pragma once
#include <filesystem>
#include <string>

namespace onefile {

class SecretFile {
 public:
  // Makes path, which must not exist yet, holding secret. Throws PackError.
  SecretFile(std::filesystem::path path, const std::string& secret);
  ~SecretFile();
  SecretFile(const SecretFile&) = delete;
  SecretFile& operator=(const SecretFile&) = delete;

  const std::filesystem::path& path() const { return path_; }

 private:
  std::filesystem::path path_;
};

}  // namespace onefile
