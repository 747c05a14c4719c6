// Authenticode signing through the signing program, with a key in a file or
// on a token, or through a command of the publisher's: one file at a time,
// or every unsigned program and library of a folder (in parallel with a key
// in a file). What the program refuses becomes one line naming the file or
// the option at fault.
#pragma once
#include <cstdint>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "host/temporary-folder.h"
#include "onefile-pack/command-line.h"
#include "onefile-pack/sign-options.h"
#include "payload-io/app-folder.h"

namespace onefile {

class Progress;
class SecretFile;

struct SignedFiles {
  uint64_t signedHere = 0;     // signed on their way into the payload
  uint64_t alreadySigned = 0;  // kept as they are
  uint64_t leftUnsigned = 0;   // carrying data after their image, which a signature would follow
};

class CodeSigner {
 public:
  // Signs probe (any PE image: the built-in bootstrap), which checks the
  // key, its password and the certificate once, before any work: each of
  // them wrong gives one line (OptionError). Warns about an expired
  // certificate.
  CodeSigner(SigningRequest request, const std::string& probe);

  // Signs input into output; PackError naming shown when the program refuses.
  void sign(const std::filesystem::path& input, const std::filesystem::path& output, const std::string& shown) const;

  // Signs the finished executable (still open for writing) into a file of
  // the private folder, which it returns; PackError naming output, the
  // executable's own path.
  std::filesystem::path signExecutable(const std::filesystem::path& finished, const std::filesystem::path& output) const;

  // Points each unsigned PE image among files at a signed copy in the
  // signer's private folder; the files themselves are not changed. An image
  // with data after it is left as it is, with a warning. Signs up to threads
  // files at once with a key in a file, one at a time with a token or a
  // command. progress may be null.
  SignedFiles signFolderFiles(std::vector<FolderFile>* files, unsigned threads, Progress* progress) const;

  // A file of the signer's private folder that is removed with it. name is a
  // plain file name: the folder stays flat, as an interrupt's cleanup needs.
  std::filesystem::path privateFile(const std::string& name) const { return folder_.path() / name; }
  const std::string& signerName() const { return signerName_; }

 private:
  std::vector<std::string> arguments(const std::filesystem::path& input, const std::filesystem::path& output) const;
  OptionError probeFailure(const std::string& said) const;
  std::optional<OptionError> tokenFailure(const std::string& said) const;
  std::unique_ptr<SecretFile> handOverPassword() const;
  void signFile(const std::filesystem::path& input, const std::filesystem::path& output, const std::string& shown) const;
  int run(const std::filesystem::path& input, const std::filesystem::path& output, std::string* said) const;

  SigningRequest request_;
  TemporaryFolder folder_;
  std::string signerName_;
};

}  // namespace onefile
