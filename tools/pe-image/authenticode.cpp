#include "pe-image/authenticode.h"

#include <algorithm>
#include <cstring>

#include "host/utf.h"
#include "pe-image/der-reader.h"
#include "pe-image/pe-headers.h"
#include "pe-image/pe-layout.h"

namespace onefile {
namespace {

// The optional header's directory count and directories: PE32 keeps them
// 16 bytes before where PE32+ does (its image base is 4 bytes, and it has a
// base of data).
constexpr uint32_t PE32_DIRECTORY_COUNT = 92, PE32_DIRECTORIES = 96;

// The COFF symbol table: its entries, then a string table that starts with
// its own length.
constexpr uint32_t FH_SYMBOL_COUNT = 12, SYMBOL_SIZE = 18, STRING_TABLE_LENGTH_SIZE = 4;

// WIN_CERTIFICATE: length, revision, type, then the certificate itself.
constexpr uint32_t WIN_CERTIFICATE_HEADER = 8;
constexpr uint16_t WIN_CERT_TYPE_PKCS_SIGNED_DATA = 2;

constexpr unsigned char SIGNED_DATA_OID[] = {0x2A, 0x86, 0x48, 0x86, 0xF7, 0x0D, 0x01, 0x07, 0x02};
constexpr unsigned char COMMON_NAME_OID[] = {0x55, 0x04, 0x03};
constexpr unsigned char ORGANIZATION_OID[] = {0x55, 0x04, 0x0A};

bool sameBytes(ByteView a, ByteView b) {
  return a.size() == b.size() && (a.size() == 0 || std::memcmp(a.data(), b.data(), a.size()) == 0);
}

template <size_t N>
bool isObject(const DerElement& element, const unsigned char (&oid)[N]) {
  return element.tag == DER_OBJECT_ID && sameBytes(element.content, ByteView(oid, N));
}

std::optional<uint16_t> optionalMagic(ByteView file, const PeHeaders& headers) {
  std::optional<uint64_t> magic = file.field(headers.optionalHeader, 2);
  if (headers.fault != PeHeaderFault::none || !headers.optionalHeaderInFile || !magic) return std::nullopt;
  if (*magic != PE32_MAGIC && *magic != PE32_PLUS_MAGIC) return std::nullopt;
  return static_cast<uint16_t>(*magic);
}

// The value of the first attribute of a name (issuer or subject) with the
// type, as its bytes (UTF-8 or ASCII in every certificate seen in practice).
template <size_t N>
std::optional<std::string> nameAttribute(const DerElement& name, const unsigned char (&type)[N]) {
  DerCursor sets = inside(name);
  while (std::optional<DerElement> set = sets.next(DER_SET)) {
    DerCursor attributes = inside(*set);
    while (std::optional<DerElement> attribute = attributes.next(DER_SEQUENCE)) {
      DerCursor parts = inside(*attribute);
      std::optional<DerElement> oid = parts.next(DER_OBJECT_ID);
      std::optional<DerElement> value = parts.next();
      if (oid && value && isObject(*oid, type))
        return std::string(reinterpret_cast<const char*>(value->content.data()), value->content.size());
    }
  }
  return std::nullopt;
}

// The certificate's subject and validity if its issuer and serial number are
// those given.
std::optional<SignerIdentity> certificateFor(const DerElement& certificate, const DerElement& issuer,
                                             const DerElement& serial) {
  std::optional<DerElement> tbs = inside(certificate).next(DER_SEQUENCE);
  if (!tbs) return std::nullopt;
  DerCursor fields = inside(*tbs);
  fields.next(DER_CONTEXT_0);  // the version, absent for version 1
  std::optional<DerElement> ownSerial = fields.next(DER_INTEGER);
  std::optional<DerElement> algorithm = fields.next(DER_SEQUENCE);
  std::optional<DerElement> ownIssuer = fields.next(DER_SEQUENCE);
  std::optional<DerElement> validity = fields.next(DER_SEQUENCE);
  std::optional<DerElement> subject = fields.next(DER_SEQUENCE);
  if (!ownSerial || !algorithm || !ownIssuer || !validity || !subject) return std::nullopt;
  if (!sameBytes(ownSerial->whole, serial.whole) || !sameBytes(ownIssuer->whole, issuer.whole)) return std::nullopt;
  SignerIdentity identity;
  std::optional<std::string> name = nameAttribute(*subject, COMMON_NAME_OID);
  if (!name) name = nameAttribute(*subject, ORGANIZATION_OID);
  identity.name = name.value_or("");
  DerCursor times = inside(*validity);
  times.next();
  if (std::optional<DerElement> notAfter = times.next()) identity.notAfter = derTime(*notAfter);
  return identity;
}

}  // namespace

bool isPeImage(ByteView file) { return optionalMagic(file, readPeHeaders(file)).has_value(); }

std::optional<ByteView> certificateTable(ByteView image) {
  std::optional<FileRange> range = certificateTableRange(image);
  if (!range) return std::nullopt;
  // The security directory holds a file offset, not an address. One that
  // points outside the file is still a (broken) signature: Windows rejects
  // such an image rather than taking it as unsigned.
  return image.part(range->offset, range->size).value_or(ByteView());
}

std::optional<uint64_t> securityEntryOffset(ByteView image) {
  PeHeaders headers = readPeHeaders(image);
  std::optional<uint16_t> magic = optionalMagic(image, headers);
  if (!magic) return std::nullopt;
  bool plus = *magic == PE32_PLUS_MAGIC;
  uint64_t directories = headers.optionalHeader + (plus ? OH_DIRECTORIES : PE32_DIRECTORIES);
  std::optional<uint64_t> count = image.field(headers.optionalHeader + (plus ? OH_DIRECTORY_COUNT : PE32_DIRECTORY_COUNT), 4);
  if (!count || *count <= SECURITY_DIRECTORY) return std::nullopt;
  uint64_t entry = directories + SECURITY_DIRECTORY * SECURITY_ENTRY_SIZE;
  if (entry + SECURITY_ENTRY_SIZE > headers.optionalHeader + headers.optionalSize) return std::nullopt;
  return entry;
}

std::optional<FileRange> certificateTableRange(ByteView image) {
  std::optional<uint64_t> entry = securityEntryOffset(image);
  if (!entry) return std::nullopt;
  std::optional<uint64_t> offset = image.field(*entry, 4), size = image.field(*entry + 4, 4);
  if (!offset || !size || *size == 0) return std::nullopt;
  return FileRange{*offset, *size};
}

bool carriesDataAfterImage(ByteView image) {
  PeHeaders headers = readPeHeaders(image);
  if (!optionalMagic(image, headers) || !headers.sectionTableInFile) return false;
  // The headers are the image's too, whatever the sections leave out.
  uint64_t end = headers.sectionTable + uint64_t(SECTION_HEADER_SIZE) * headers.sectionCount;
  if (headers.optionalSize >= OH_HEADERS_SIZE + 4)
    end = std::max(end, *image.field(headers.optionalHeader + OH_HEADERS_SIZE, 4));
  for (size_t index = 0; index < headers.sectionCount; ++index) {
    PeSection section = peSection(image, headers, index);
    if (section.rawSize != 0) end = std::max(end, uint64_t(section.rawOffset) + section.rawSize);
  }
  uint64_t symbols = *image.field(headers.fileHeader + FH_SYMBOL_TABLE, 4);
  if (symbols != 0) {
    uint64_t strings = symbols + uint64_t(SYMBOL_SIZE) * *image.field(headers.fileHeader + FH_SYMBOL_COUNT, 4);
    end = std::max(end, strings + image.field(strings, STRING_TABLE_LENGTH_SIZE).value_or(0));
  }
  std::optional<ByteView> table = certificateTable(image);
  uint64_t tableStart = table && table->size() != 0 ? uint64_t(table->data() - image.data()) : image.size();
  uint64_t tableEnd = tableStart + (table ? table->size() : 0);
  for (uint64_t offset = end; offset < image.size(); ++offset) {
    if (offset == tableStart) offset = tableEnd;
    if (offset < image.size() && image.data()[offset] != 0) return true;
  }
  return false;
}

std::optional<SignerIdentity> signerOf(ByteView table) {
  std::optional<uint64_t> length = table.field(0, 4), type = table.field(6, 2);
  if (!length || !type || *type != WIN_CERT_TYPE_PKCS_SIGNED_DATA || *length < WIN_CERTIFICATE_HEADER)
    return std::nullopt;
  std::optional<ByteView> der = table.part(WIN_CERTIFICATE_HEADER, *length - WIN_CERTIFICATE_HEADER);
  if (!der) return std::nullopt;
  std::optional<DerElement> contentInfo = DerCursor(*der).next(DER_SEQUENCE);
  if (!contentInfo) return std::nullopt;
  DerCursor outer = inside(*contentInfo);
  std::optional<DerElement> oid = outer.next(DER_OBJECT_ID);
  std::optional<DerElement> explicitContent = outer.next(DER_CONTEXT_0);
  if (!oid || !isObject(*oid, SIGNED_DATA_OID) || !explicitContent) return std::nullopt;
  std::optional<DerElement> signedData = inside(*explicitContent).next(DER_SEQUENCE);
  if (!signedData) return std::nullopt;
  DerCursor fields = inside(*signedData);
  fields.next(DER_INTEGER);
  fields.next(DER_SET);
  fields.next(DER_SEQUENCE);
  std::optional<DerElement> certificates = fields.next(DER_CONTEXT_0);
  fields.next(0xA1);  // revocation lists
  std::optional<DerElement> signerInfos = fields.next(DER_SET);
  if (!certificates || !signerInfos) return std::nullopt;
  std::optional<DerElement> signerInfo = inside(*signerInfos).next(DER_SEQUENCE);
  if (!signerInfo) return std::nullopt;
  DerCursor signerFields = inside(*signerInfo);
  signerFields.next(DER_INTEGER);
  std::optional<DerElement> issuerAndSerial = signerFields.next(DER_SEQUENCE);
  if (!issuerAndSerial) return std::nullopt;
  DerCursor id = inside(*issuerAndSerial);
  std::optional<DerElement> issuer = id.next(DER_SEQUENCE), serial = id.next(DER_INTEGER);
  if (!issuer || !serial) return std::nullopt;
  DerCursor each = inside(*certificates);
  while (std::optional<DerElement> certificate = each.next(DER_SEQUENCE))
    if (std::optional<SignerIdentity> identity = certificateFor(*certificate, *issuer, *serial)) return identity;
  return std::nullopt;
}

std::string signatureText(const std::optional<ByteView>& table) {
  if (!table) return "unsigned";
  std::optional<SignerIdentity> signer = signerOf(*table);
  if (!signer) return "signed, by a signer that cannot be read";
  return "signed by " + (signer->name.empty() ? std::string("a signer without a name") : displayName(signer->name));
}

}  // namespace onefile
