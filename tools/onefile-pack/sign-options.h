// What signing takes on build's command line: the certificate and key, the
// password's variable, the signature's texts and a timestamp server. All is
// checked, and the signing program found, before any work.
#pragma once
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "onefile-pack/command-line.h"
#include "onefile-pack/sign-command.h"

namespace onefile {

extern const std::vector<OptionDefinition> SIGN_OPTIONS;

inline constexpr char SIGNING_PROGRAM[] = "osslsigncode";
// The longest password the signing program reads whole: its Windows build
// copies the file it is given into a buffer of 4096 bytes, with a terminator.
inline constexpr size_t SIGNING_PASSWORD_LIMIT = 4095;

// A key on a token names itself by an RFC 7512 URI.
inline constexpr char PKCS11_URI_SCHEME[] = "pkcs11:";

struct SigningRequest {
  std::filesystem::path signingProgram;  // osslsigncode; empty for a command of the publisher's
  std::optional<std::filesystem::path> pkcs12, certificate, key;
  // A key on a token, through its PKCS#11 library: the key's URI, and the
  // certificate's URI where the token holds that too.
  std::optional<std::filesystem::path> pkcs11Module;
  std::optional<std::string> keyUri, certificateUri;
  std::optional<SignCommand> command;
  std::string keyOption, keyFileShown;  // the option and file (or URI) that hold the key, for messages
  std::optional<std::string> passwordVariable;
  std::string password;  // or PIN; never on a command line: the signing program reads it from a SecretFile
  std::optional<std::string> description, url, timestampServer;
  std::optional<int64_t> signingTime;  // from SOURCE_DATE_EPOCH
};

// nullopt when no signing option is given. Throws OptionError for a wrong
// combination or value, a file that cannot be read, an unset variable, a
// URI that holds its PIN, or a signing program or command that cannot be
// found.
std::optional<SigningRequest> signingRequestFrom(const ParsedArguments& parsed);

}  // namespace onefile
