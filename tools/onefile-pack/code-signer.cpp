#include "onefile-pack/code-signer.h"

#include <ctime>
#include <iterator>
#include <memory>
#include <optional>

#include "host/byte-sink.h"
#include "host/child-process.h"
#include "host/host-system.h"
#include "host/mapped-file.h"
#include "host/parallel-work.h"
#include "host/pack-error.h"
#include "host/progress.h"
#include "host/secret-file.h"
#include "host/text-output.h"
#include "host/utf.h"
#include "pe-image/authenticode.h"
#include "pe-image/der-reader.h"

namespace onefile {
namespace {

constexpr char PROBE_NAME[] = "probe.exe";
constexpr char SIGNED_PROBE_NAME[] = "probe-signed.exe";
constexpr char PASSWORD_NAME[] = "password";
constexpr char UNSIGNED_EXECUTABLE_NAME[] = "unsigned-executable", SIGNED_EXECUTABLE_PREFIX[] = "signed-executable-";
constexpr char SIGNED_FILE_PREFIX[] = "signed-";
// A copy keeps its file's name, which a signing command or service may go
// by (its extension, what its log shows), unless the name is so long that
// the prefix would take it past what a folder entry holds.
constexpr size_t LONGEST_KEPT_NAME = 120;

// What the signing program says for the failures a user can mend.
constexpr const char* WRONG_PASSWORD_SIGNS[] = {"Wrong password", "mac verify failure", "bad decrypt"};
constexpr char UNREAD_PASSWORD_SIGN[] = "Failed to read password";
constexpr const char* KEY_MISMATCH_SIGNS[] = {"consistency of a private key", "key values mismatch"};
constexpr const char* TIMESTAMP_SIGNS[] = {"HTTP failure", "Failed to get data from", "timestamp", "Timestamp"};
// ... and for a key on a token, as OpenSSL's pkcs11 engine and the token's
// library put it.
constexpr char NO_PKCS11_OPTION_SIGN[] = "Unknown option: -pkcs11module";
constexpr char NO_PKCS11_ENGINE_SIGN[] = "load 'pkcs11' engine";
constexpr char MODULE_NOT_LOADED_SIGN[] = "Unable to load module";
constexpr const char* WRONG_PIN_SIGNS[] = {"PIN incorrect", "CKR_PIN_INCORRECT"};
constexpr const char* LOCKED_PIN_SIGNS[] = {"PIN locked", "CKR_PIN_LOCKED"};
constexpr char NO_PIN_SIGN[] = "No PIN code was entered";
constexpr char NO_TOKEN_SIGN[] = "No matching initialized token";
constexpr const char* NO_KEY_SIGNS[] = {"private key was not found", "object not found"};
constexpr const char* NO_CERTIFICATE_SIGNS[] = {"Failed to load certificate", "certificate was not found"};

bool saysAny(const std::string& said, const char* const* signs, size_t count) {
  for (size_t i = 0; i < count; ++i)
    if (said.find(signs[i]) != std::string::npos) return true;
  return false;
}

// The program's first line that is not the library's own error trace.
std::string firstLine(const std::string& said) {
  for (size_t start = 0; start < said.size();) {
    size_t end = said.find('\n', start);
    if (end == std::string::npos) end = said.size();
    std::string line = said.substr(start, end - start);
    start = end + 1;
    while (!line.empty() && (line.back() == '\r' || line.back() == ' ')) line.pop_back();
    if (!line.empty() && line.find(":error:") == std::string::npos) return displayName(line);
  }
  return "it failed without saying why";
}

// The whole line of what the program said around position at.
std::string lineAround(const std::string& said, size_t at) {
  size_t start = said.rfind('\n', at);
  start = start == std::string::npos ? 0 : start + 1;
  std::string line = said.substr(start, said.find('\n', at) - start);
  while (!line.empty() && line.back() == '\r') line.pop_back();
  return displayName(line);
}

// The name of a copy of file in the private folder: the prefix, then the
// file's own name as a command can take it.
std::string copyName(const std::string& prefix, const std::filesystem::path& file) {
  std::string name = commandSafeFileName(file.filename().u8string());
  if (name.size() > LONGEST_KEPT_NAME) name = commandSafeFileName(file.extension().u8string());
  return prefix + (name.size() > LONGEST_KEPT_NAME ? std::string() : name);
}

void writeFile(const std::filesystem::path& path, const unsigned char* bytes, size_t size) {
  AtomicOutputFile file(path);
  file.write(bytes, size);
  file.commit();
}

void copyFile(const std::filesystem::path& from, const std::filesystem::path& to) {
  MappedFile bytes(from);
  writeFile(to, bytes.data(), bytes.size());
}

}  // namespace

// The failures of a key on a token that a user can mend; nullopt for others.
std::optional<OptionError> CodeSigner::tokenFailure(const std::string& said) const {
  const std::string module = displayName(request_.pkcs11Module->u8string());
  if (said.find(NO_PKCS11_OPTION_SIGN) != std::string::npos)
    return OptionError("--sign-pkcs11-module", displayName(request_.signingProgram.u8string()) +
                                                   " was built without PKCS#11 support: sign through the token's own "
                                                   "tool with --sign-command instead");
  if (said.find(NO_PKCS11_ENGINE_SIGN) != std::string::npos)
    return OptionError("--sign-pkcs11-module", std::string(SIGNING_PROGRAM) +
                                                   " reaches a token through OpenSSL's pkcs11 engine, which is not "
                                                   "installed (Debian and Ubuntu: apt-get install "
                                                   "libengine-pkcs11-openssl)");
  if (said.find(MODULE_NOT_LOADED_SIGN) != std::string::npos)
    return OptionError("--sign-pkcs11-module", std::string(SIGNING_PROGRAM) + " cannot load " + module +
                                                   " as a PKCS#11 library: " + firstLine(said));
  if (saysAny(said, LOCKED_PIN_SIGNS, std::size(LOCKED_PIN_SIGNS)))
    return OptionError("--sign-key", "the token of " + request_.keyFileShown +
                                         " is locked after too many wrong PINs: unlock it with its maker's tool");
  if (saysAny(said, WRONG_PIN_SIGNS, std::size(WRONG_PIN_SIGNS)))
    return OptionError("--sign-password-env", "the PIN in " + displayName(request_.passwordVariable.value_or("")) +
                                                  " does not open the token of " + request_.keyFileShown +
                                                  " (tried once; a token locks itself after a few wrong PINs)");
  if (said.find(NO_PIN_SIGN) != std::string::npos)
    return OptionError("--sign-key", "the token of " + request_.keyFileShown +
                                         " asks for a PIN: name the variable that holds it with --sign-password-env");
  if (said.find(NO_TOKEN_SIGN) != std::string::npos)
    return OptionError("--sign-key", "no token that " + module + " reaches matches " + request_.keyFileShown);
  // The engine says "object not found" of either; the certificate's own line comes first.
  if (request_.certificateUri && saysAny(said, NO_CERTIFICATE_SIGNS, std::size(NO_CERTIFICATE_SIGNS)))
    return OptionError("--sign-cert", "no certificate at " + displayName(*request_.certificateUri) + " on the token");
  if (saysAny(said, NO_KEY_SIGNS, std::size(NO_KEY_SIGNS)))
    return OptionError("--sign-key", "no private key at " + request_.keyFileShown + " on the token");
  return std::nullopt;
}

// The one line for each failure of the first signing that a user can mend.
OptionError CodeSigner::probeFailure(const std::string& said) const {
  if (request_.pkcs11Module)
    if (std::optional<OptionError> failure = tokenFailure(said)) return *failure;
  // The password never reached the program: nothing says it is wrong.
  if (size_t at = said.find(UNREAD_PASSWORD_SIGN); at != std::string::npos)
    return OptionError("--sign-password-env", std::string(SIGNING_PROGRAM) +
                                                  " cannot read the password handed to it: " + lineAround(said, at));
  if (saysAny(said, WRONG_PASSWORD_SIGNS, std::size(WRONG_PASSWORD_SIGNS))) {
    if (!request_.passwordVariable)
      return OptionError(request_.keyOption, request_.keyFileShown +
                                                 " is protected by a password: name the variable that holds it with "
                                                 "--sign-password-env");
    return OptionError("--sign-password-env", "the password in " + displayName(*request_.passwordVariable) +
                                                  " does not open " + request_.keyFileShown);
  }
  if (saysAny(said, KEY_MISMATCH_SIGNS, std::size(KEY_MISMATCH_SIGNS)))
    return OptionError("--sign-key", request_.keyFileShown + " is not the key of the certificate of --sign-cert");
  if (request_.timestampServer && saysAny(said, TIMESTAMP_SIGNS, std::size(TIMESTAMP_SIGNS)))
    return OptionError("--timestamp",
                       "no timestamp from " + displayName(*request_.timestampServer) + ": " + firstLine(said));
  return OptionError(request_.keyOption,
                     std::string(SIGNING_PROGRAM) + " cannot sign with " + request_.keyFileShown + ": " + firstLine(said));
}

CodeSigner::CodeSigner(SigningRequest request, const std::string& probe) : request_(std::move(request)) {
  std::filesystem::path unsigned_ = privateFile(PROBE_NAME), signed_ = privateFile(SIGNED_PROBE_NAME);
  writeFile(unsigned_, reinterpret_cast<const unsigned char*>(probe.data()), probe.size());
  if (request_.command) {
    copyFile(unsigned_, signed_);
    if (std::optional<std::string> refusal = signWithCommand(*request_.command, unsigned_, signed_))
      throw OptionError("--sign-command", "signing the bootstrap first: " + *refusal);
  } else {
    std::string said;
    std::unique_ptr<SecretFile> password = handOverPassword();
    if (run(unsigned_, signed_, &said) != 0) throw probeFailure(said);
  }
  MappedFile signedProbe(signed_);
  std::optional<ByteView> table = certificateTable(ByteView(signedProbe.data(), signedProbe.size()));
  std::optional<SignerIdentity> signer = table ? signerOf(*table) : std::nullopt;
  if (!signer) return;
  signerName_ = signer->name;
  if (signer->notAfter && *signer->notAfter < static_cast<int64_t>(std::time(nullptr)))
    printText(stderr,
              "onefile-pack: warning: the certificate of %s expired on %s: Windows does not trust what it signs "
              "now\n",
              displayName(signer->name).c_str(), utcDateText(*signer->notAfter).c_str());
}

std::vector<std::string> CodeSigner::arguments(const std::filesystem::path& input,
                                               const std::filesystem::path& output) const {
  std::vector<std::string> list{"sign", "-h", "sha256"};
  auto add = [&](const char* option, const std::string& value) {
    list.push_back(option);
    list.push_back(value);
  };
  if (request_.pkcs12) add("-pkcs12", request_.pkcs12->u8string());
  if (request_.pkcs11Module) add("-pkcs11module", request_.pkcs11Module->u8string());
  if (request_.certificate) add("-certs", request_.certificate->u8string());
  if (request_.certificateUri) add("-pkcs11cert", *request_.certificateUri);
  if (request_.key) add("-key", request_.key->u8string());
  if (request_.keyUri) add("-key", *request_.keyUri);
  // The password goes in a file only this user can read, never on the
  // command line, where other users of the machine could read it; a token's
  // PIN is handed over as the key's password. An empty one is no password
  // (the program cannot read an empty file).
  if (!request_.password.empty()) add("-readpass", privateFile(PASSWORD_NAME).u8string());
  if (request_.description) add("-n", *request_.description);
  if (request_.url) add("-i", *request_.url);
  if (request_.timestampServer) add("-ts", *request_.timestampServer);
  // Without it the library writes the current time into every signature.
  if (request_.signingTime) add("-time", std::to_string(*request_.signingTime));
  add("-in", input.u8string());
  add("-out", output.u8string());
  return list;
}

int CodeSigner::run(const std::filesystem::path& input, const std::filesystem::path& output, std::string* said) const {
  std::filesystem::path log = output;
  log += ".log";
  int status = runProgram(request_.signingProgram, arguments(input, output), log);
  if (status != 0) *said = readWholeFile(log, displayName(log.u8string()));
  return status;
}

// The password is on disk only while the signing program runs.
std::unique_ptr<SecretFile> CodeSigner::handOverPassword() const {
  if (request_.password.empty()) return nullptr;
  return std::make_unique<SecretFile>(privateFile(PASSWORD_NAME), request_.password);
}

void CodeSigner::sign(const std::filesystem::path& input, const std::filesystem::path& output,
                      const std::string& shown) const {
  std::unique_ptr<SecretFile> password = handOverPassword();
  signFile(input, output, shown);
}

// From a copy: the output stays open for writing until it is in place, and
// the signing program's Windows build opens its input sharing it with no
// writer.
std::filesystem::path CodeSigner::signExecutable(const std::filesystem::path& finished,
                                                 const std::filesystem::path& output) const {
  std::filesystem::path copy = privateFile(UNSIGNED_EXECUTABLE_NAME);
  std::filesystem::path signed_ = privateFile(copyName(SIGNED_EXECUTABLE_PREFIX, output));
  copyFile(finished, copy);
  sign(copy, signed_, displayName(output.u8string()));
  return signed_;
}

void CodeSigner::signFile(const std::filesystem::path& input, const std::filesystem::path& output,
                          const std::string& shown) const {
  if (request_.command) {
    copyFile(input, output);
    if (std::optional<std::string> refusal = signWithCommand(*request_.command, input, output))
      throw PackError(shown, *refusal);
    return;
  }
  std::string said;
  if (run(input, output, &said) != 0)
    throw PackError(shown, std::string(SIGNING_PROGRAM) + " refuses to sign it: " + firstLine(said));
}

SignedFiles CodeSigner::signFolderFiles(std::vector<FolderFile>* files, unsigned threads, Progress* progress) const {
  SignedFiles counts;
  std::vector<size_t> toSign;
  for (size_t i = 0; i < files->size(); ++i) {
    const FolderFile& file = (*files)[i];
    if (file.size == 0) continue;
    MappedFile bytes(file.source);
    ByteView view(bytes.data(), bytes.size());
    if (!isPeImage(view)) continue;
    if (certificateTable(view)) {
      counts.alreadySigned += 1;
    } else if (carriesDataAfterImage(view)) {
      counts.leftUnsigned += 1;
      printText(stderr,
                "onefile-pack: warning: %s is left unsigned: it carries data after its image, and a signature "
                "after that data may break the program that reads it; sign it before packing\n",
                displayName(file.source.u8string()).c_str());
    } else {
      toSign.push_back(i);
    }
  }
  uint64_t total = 0;
  for (size_t index : toSign) total += (*files)[index].size;
  if (progress) progress->start(total);

  // A token signs one file at a time whatever its library allows, and a
  // command of the publisher's is not known to bear being run side by side.
  if (request_.pkcs11Module || request_.command) threads = 1;
  std::vector<uint64_t> signedSizes(toSign.size());
  auto outputOf = [&](size_t n) {
    return privateFile(copyName(SIGNED_FILE_PREFIX + std::to_string(toSign[n]) + "-", (*files)[toSign[n]].source));
  };
  auto signOne = [&](size_t n) {
    const FolderFile& file = (*files)[toSign[n]];
    std::filesystem::path output = outputOf(n);
    signFile(file.source, output, displayName(file.source.u8string()));
    std::error_code error;
    signedSizes[n] = std::filesystem::file_size(output, error);
    if (error) throw PackError(displayName(output.u8string()), "cannot read the signed copy: " + error.message());
  };
  auto takeSigned = [&](size_t n) {
    FolderFile& file = (*files)[toSign[n]];
    if (progress) progress->advance(file.size);
    file.source = outputOf(n);
    file.size = signedSizes[n];
  };
  {
    std::unique_ptr<SecretFile> password = toSign.empty() ? nullptr : handOverPassword();
    forEachInParallel(toSign.size(), threads, signOne, takeSigned);
  }
  if (progress) progress->finish();
  counts.signedHere = toSign.size();
  return counts;
}

}  // namespace onefile
