#include "onefile-pack/sign-options.h"

#include <cctype>
#include <cerrno>
#include <cstdlib>
#include <iterator>

#include "host/child-process.h"
#include "host/host-system.h"
#include "host/utf.h"

namespace onefile {
namespace {

constexpr char EPOCH_VARIABLE[] = "SOURCE_DATE_EPOCH";
// The signing time is written as UTCTime, whose years end with 2049.
constexpr int64_t LATEST_SIGNING_TIME = 2524607999;
constexpr char PIN_VALUE_ATTRIBUTE[] = "pin-value";

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

bool isPkcs11Uri(const std::string& text) {
  std::string scheme = text.substr(0, std::size(PKCS11_URI_SCHEME) - 1);
  for (char& c : scheme) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return scheme == PKCS11_URI_SCHEME;
}

// A URI may carry the PIN itself, which would then stand on the signing
// program's command line, where other users of the machine can read it.
std::string checkedUri(const ParsedArguments& parsed, const std::string& key) {
  std::string uri = *parsed.value(key);
  if (uri.find(PIN_VALUE_ATTRIBUTE) != std::string::npos)
    throw OptionError("--" + key, "the URI holds the PIN (pin-value), which would stand on a command line: put it in "
                                  "a variable that --sign-password-env names");
  return uri;
}

// The one way of signing a build takes, its options all there and no other's.
void checkCombination(const ParsedArguments& parsed) {
  bool pkcs12 = parsed.has("sign-pkcs12"), certificate = parsed.has("sign-cert"), key = parsed.has("sign-key");
  bool token = parsed.has("sign-pkcs11-module");
  if (parsed.has("sign-command")) {
    for (const OptionDefinition& option : SIGN_OPTIONS)
      if (option.key != "sign-command" && parsed.has(option.key))
        throw OptionError(option.spellings.front(),
                          "cannot be given with --sign-command, which signs with settings of its own");
    return;
  }
  if (pkcs12 && (certificate || key || token))
    throw OptionError(certificate ? "--sign-cert" : key ? "--sign-key" : "--sign-pkcs11-module",
                      "cannot be given with --sign-pkcs12");
  if (certificate != key) throw OptionError(certificate ? "--sign-cert" : "--sign-key",
                                            certificate ? "needs --sign-key" : "needs --sign-cert");
  if (token && !key)
    throw OptionError("--sign-pkcs11-module", "needs --sign-key, the key's pkcs11: URI, and --sign-cert");
  if (!pkcs12 && !certificate)
    for (const OptionDefinition& option : SIGN_OPTIONS)
      if (parsed.has(option.key))
        throw OptionError(option.spellings.front(),
                          "needs --sign-pkcs12, --sign-cert and --sign-key, or --sign-command");
}

// --sign-cert and --sign-key: files, or with --sign-pkcs11-module the key's
// URI and the certificate's file or URI.
void readCertificateAndKey(const ParsedArguments& parsed, SigningRequest* request) {
  bool keyOnToken = isPkcs11Uri(*parsed.value("sign-key")), certificateOnToken = isPkcs11Uri(*parsed.value("sign-cert"));
  if (!parsed.has("sign-pkcs11-module")) {
    if (keyOnToken || certificateOnToken)
      throw OptionError(keyOnToken ? "--sign-key" : "--sign-cert",
                        "a pkcs11: URI needs --sign-pkcs11-module, the token's PKCS#11 library");
    request->certificate = readableFile(parsed, "sign-cert");
    request->key = readableFile(parsed, "sign-key");
    return;
  }
  // Whole: a library's bare name would be looked for among the system's.
  request->pkcs11Module = std::filesystem::absolute(readableFile(parsed, "sign-pkcs11-module"));
  if (!keyOnToken)
    throw OptionError("--sign-key", "with --sign-pkcs11-module, takes the key's pkcs11: URI (such as "
                                    "pkcs11:token=MyToken;object=MyKey;type=private), not a file");
  request->keyUri = checkedUri(parsed, "sign-key");
  if (certificateOnToken) request->certificateUri = checkedUri(parsed, "sign-cert");
  else request->certificate = readableFile(parsed, "sign-cert");
}

std::string passwordFrom(const std::string& variable) {
  std::optional<std::string> password = environmentVariable(variable);
  if (!password) throw OptionError("--sign-password-env", displayName(variable) + " is not set");
  if (password->size() > SIGNING_PASSWORD_LIMIT)
    throw OptionError("--sign-password-env", "the password in " + displayName(variable) + " is longer than " +
                                                 std::to_string(SIGNING_PASSWORD_LIMIT) + " bytes");
  return *password;
}

}  // namespace

const std::vector<OptionDefinition> SIGN_OPTIONS = {
    {{"--sign-pkcs12"}, "sign-pkcs12", "FILE",
     "sign every unsigned program and library inside and the executable with the certificate and key of this "
     "PKCS#12 file (.pfx, .p12), through osslsigncode on PATH"},
    {{"--sign-cert"}, "sign-cert", "FILE",
     "sign as --sign-pkcs12 does, with this certificate (PEM or DER, with its chain; or with "
     "--sign-pkcs11-module, its pkcs11: URI on the token) and the key of --sign-key"},
    {{"--sign-key"}, "sign-key", "FILE", "the private key (PEM or DER) of --sign-cert; with --sign-pkcs11-module, its pkcs11: URI"},
    {{"--sign-pkcs11-module"}, "sign-pkcs11-module", "LIBRARY",
     "sign with a key on a token (smart card, USB token, HSM) through this PKCS#11 library of its maker's; "
     "--sign-key names the key by its pkcs11: URI, and --sign-password-env the PIN"},
    {{"--sign-password-env"}, "sign-password-env", "NAME",
     "the environment variable that holds the password of the key, or the token's PIN (never given on the command "
     "line)"},
    {{"--sign-description"}, "sign-description", "TEXT", "the program's name in the signature"},
    {{"--sign-url"}, "sign-url", "URL", "the link in the signature"},
    {{"--timestamp"}, "timestamp", "URL",
     "have each signature timestamped by this RFC 3161 server, so that it stays trusted after the certificate "
     "expires; the executable then differs from build to build"},
    signCommandOption(),
};

std::optional<SigningRequest> signingRequestFrom(const ParsedArguments& parsed) {
  if (!givesAnySigningOption(parsed)) return std::nullopt;
  checkCombination(parsed);
  SigningRequest request;
  if ((request.command = signCommandFrom(parsed))) {
    request.keyOption = "--sign-command";
    request.keyFileShown = displayName(request.command->programShown);
    return request;
  }
  bool pkcs12 = parsed.has("sign-pkcs12");
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
    readCertificateAndKey(parsed, &request);
    request.keyOption = "--sign-key";
  }
  request.keyFileShown = displayName(*parsed.value(request.keyOption.substr(2)));
  if ((request.passwordVariable = parsed.value("sign-password-env"))) request.password = passwordFrom(*request.passwordVariable);
  request.description = parsed.value("sign-description");
  request.url = parsed.value("sign-url");
  request.timestampServer = parsed.value("timestamp");
  request.signingTime = signingTimeFromEnvironment();
  return request;
}

}  // namespace onefile
