#include "onefile-pack/sign-options.h"

#include <cerrno>
#include <cstdlib>

#include "host/child-process.h"
#include "host/host-system.h"
#include "host/utf.h"

namespace onefile {
namespace {

constexpr char EPOCH_VARIABLE[] = "SOURCE_DATE_EPOCH";
// The signing time is written as UTCTime, whose years end with 2049.
constexpr int64_t LATEST_SIGNING_TIME = 2524607999;

std::filesystem::path readableFile(const ParsedArguments& parsed, const std::string& key) {
  std::string name = *parsed.value(key);
  std::filesystem::path path = std::filesystem::u8path(name);
  std::error_code error;
  if (!std::filesystem::is_regular_file(path, error)) throw OptionError("--" + key, "no such file: " + displayName(name));
  readWholeFile(path, displayName(name));  // a file that cannot be read fails here, not in the signing program
  return path;
}

std::optional<int64_t> signingTimeFromEnvironment() {
  std::optional<std::string> text = environmentVariable(EPOCH_VARIABLE);
  if (!text) return std::nullopt;
  char* end = nullptr;
  errno = 0;
  long long seconds = std::strtoll(text->c_str(), &end, 10);
  if (text->empty() || *end != '\0' || errno != 0 || seconds < 0 || seconds > LATEST_SIGNING_TIME || (*text)[0] == '-')
    throw OptionError(EPOCH_VARIABLE, "'" + displayName(*text) + "' is not a time in seconds since 1970 (up to " +
                                          std::to_string(LATEST_SIGNING_TIME) + ")");
  return seconds;
}

bool givesAnySigningOption(const ParsedArguments& parsed) {
  for (const OptionDefinition& option : SIGN_OPTIONS)
    if (parsed.has(option.key)) return true;
  return false;
}

}  // namespace

const std::vector<OptionDefinition> SIGN_OPTIONS = {
    {{"--sign-pkcs12"}, "sign-pkcs12", "FILE",
     "sign every unsigned program and library inside and the executable with the certificate and key of this "
     "PKCS#12 file (.pfx, .p12), through osslsigncode on PATH"},
    {{"--sign-cert"}, "sign-cert", "FILE",
     "sign as --sign-pkcs12 does, with this certificate (PEM or DER, with its chain) and the key of --sign-key"},
    {{"--sign-key"}, "sign-key", "FILE", "the private key (PEM or DER) of --sign-cert"},
    {{"--sign-password-env"}, "sign-password-env", "NAME",
     "the environment variable that holds the password of the key (never given on the command line)"},
    {{"--sign-description"}, "sign-description", "TEXT", "the program's name in the signature"},
    {{"--sign-url"}, "sign-url", "URL", "the link in the signature"},
    {{"--timestamp"}, "timestamp", "URL",
     "have each signature timestamped by this RFC 3161 server, so that it stays trusted after the certificate "
     "expires; the executable then differs from build to build"},
};

std::optional<SigningRequest> signingRequestFrom(const ParsedArguments& parsed) {
  if (!givesAnySigningOption(parsed)) return std::nullopt;
  bool pkcs12 = parsed.has("sign-pkcs12"), certificate = parsed.has("sign-cert"), key = parsed.has("sign-key");
  if (pkcs12 && (certificate || key))
    throw OptionError(certificate ? "--sign-cert" : "--sign-key", "cannot be given with --sign-pkcs12");
  if (certificate != key) throw OptionError(certificate ? "--sign-cert" : "--sign-key",
                                            certificate ? "needs --sign-key" : "needs --sign-cert");
  if (!pkcs12 && !certificate)
    for (const OptionDefinition& option : SIGN_OPTIONS)
      if (parsed.has(option.key))
        throw OptionError(option.spellings.front(), "needs --sign-pkcs12, or --sign-cert and --sign-key");

  SigningRequest request;
  std::optional<std::filesystem::path> program = findOnPath(SIGNING_PROGRAM);
  if (!program)
    throw OptionError(pkcs12 ? "--sign-pkcs12" : "--sign-cert",
                      std::string("signing needs ") + SIGNING_PROGRAM + ", which is not on PATH (Debian and Ubuntu: "
                      "apt-get install " + SIGNING_PROGRAM + ")");
  request.signingProgram = *program;
  if (pkcs12) {
    request.pkcs12 = readableFile(parsed, "sign-pkcs12");
    request.keyOption = "--sign-pkcs12";
  } else {
    request.certificate = readableFile(parsed, "sign-cert");
    request.key = readableFile(parsed, "sign-key");
    request.keyOption = "--sign-key";
  }
  request.keyFileShown = displayName(*parsed.value(request.keyOption.substr(2)));
  if ((request.passwordVariable = parsed.value("sign-password-env"))) {
    std::optional<std::string> password = environmentVariable(*request.passwordVariable);
    if (!password)
      throw OptionError("--sign-password-env", displayName(*request.passwordVariable) + " is not set");
    if (password->size() > SIGNING_PASSWORD_LIMIT)
      throw OptionError("--sign-password-env", "the password in " + displayName(*request.passwordVariable) +
                                                   " is longer than " + std::to_string(SIGNING_PASSWORD_LIMIT) +
                                                   " bytes");
    request.password = *password;
  }
  request.description = parsed.value("sign-description");
  request.url = parsed.value("sign-url");
  request.timestampServer = parsed.value("timestamp");
  request.signingTime = signingTimeFromEnvironment();
  return request;
}

}  // namespace onefile
