// Whether a signing program only added a signature to an image it was
// handed: what Authenticode changes in a file (the checksum, the security
// directory's entry, the certificate table appended after at most 7 bytes
// of zeros that align it) and nothing else. A program the publisher names
// could change anything; what it gives back is checked before it is packed.
#pragma once
#include <cstdint>

#include "host/byte-view.h"

namespace onefile {

enum class SigningResult {
  signatureAdded,  // a signature whose signer can be read, and the image as it was
  unsigned_,       // no certificate table, or one whose signer cannot be read
  imageChanged,    // bytes outside the signature's own differ
};

struct SigningCheck {
  SigningResult result = SigningResult::unsigned_;
  uint64_t firstChange = 0;  // for imageChanged: the offset of the first byte that differs
};

// before is the unsigned image handed over, after what came back.
SigningCheck checkSignatureAdded(ByteView before, ByteView after);

}  // namespace onefile
