// An image's Authenticode signature as it lies in the file: whether there is
// one, and who made it. Signatures in folders being packed and in payloads
// come from anyone, so every read is bounded by the bytes given.
#pragma once
#include <cstdint>
#include <optional>
#include <string>

#include "host/byte-view.h"

namespace onefile {

// A PE image by its headers, whatever its name: "MZ", a DOS header pointing
// at "PE\0\0" and a whole PE32 or PE32+ optional header.
bool isPeImage(ByteView file);

// The certificate table that the security directory points at, or nullopt
// when the image carries none: what Windows takes as signed or not.
std::optional<ByteView> certificateTable(ByteView image);

// Where the security directory's entry lies in the headers: the table's
// file offset, then its size, SECURITY_ENTRY_SIZE bytes in all; nullopt
// when the image has no such entry.
inline constexpr uint32_t SECURITY_ENTRY_SIZE = 8;
std::optional<uint64_t> securityEntryOffset(ByteView image);

// Where that table lies in the file, read from the headers alone: image may
// be the file's first bytes only, as long as they hold the headers.
struct FileRange {
  uint64_t offset = 0, size = 0;
};
std::optional<FileRange> certificateTableRange(ByteView image);

// Whether the image carries data after its end (after the last section's
// bytes and the COFF symbols that linkers leave there): a self-extracting
// archive or installer reads it there, and a signature appended after it
// moves the file's end. A certificate table, and zero bytes that pad, are
// not counted. False for no PE image.
bool carriesDataAfterImage(ByteView image);

struct SignerIdentity {
  std::string name;               // the certificate's common name, else its organization
  std::optional<int64_t> notAfter;  // seconds since 1970
};

// The signer of the first signature in a certificate table (a PKCS#7
// SignedData in a WIN_CERTIFICATE); nullopt when it cannot be read.
std::optional<SignerIdentity> signerOf(ByteView table);

// What the tool says of an image's signature, from its certificate table
// (nullopt: none, an empty one: broken): "unsigned", "signed by <name>", or
// why no name can be given.
std::string signatureText(const std::optional<ByteView>& table);

}  // namespace onefile
