// A reader of DER (the ASN.1 encoding of certificates and signatures) over a
// bounded window: each element is taken whole or not at all, so that a
// signature of another program, which anyone may have made, cannot lead a
// read outside the bytes it came in.
#pragma once
#include <cstdint>
#include <optional>
#include <string>

#include "host/byte-view.h"

namespace onefile {

inline constexpr uint8_t DER_INTEGER = 0x02, DER_OBJECT_ID = 0x06, DER_UTF8_STRING = 0x0C,
                         DER_PRINTABLE_STRING = 0x13, DER_IA5_STRING = 0x16, DER_UTC_TIME = 0x17,
                         DER_GENERALIZED_TIME = 0x18, DER_SEQUENCE = 0x30, DER_SET = 0x31,
                         DER_CONTEXT_0 = 0xA0;

struct DerElement {
  uint8_t tag = 0;
  ByteView whole;    // tag, length and content: what two elements are compared by
  ByteView content;
};

// The elements of one level, in order.
class DerCursor {
 public:
  explicit DerCursor(ByteView bytes) : bytes_(bytes) {}
  // The next element; nullopt at the end or where the encoding is broken
  // or not DER (an indefinite length, a length in more bytes than it needs
  // or longer than 4 bytes, an element past the window).
  std::optional<DerElement> next();
  // The next element if it has the tag; otherwise nullopt, and nothing is taken.
  std::optional<DerElement> next(uint8_t tag);
  bool atEnd() const { return offset_ >= bytes_.size(); }

 private:
  ByteView bytes_;
  uint64_t offset_ = 0;
};

// The elements inside a constructed element.
inline DerCursor inside(const DerElement& element) { return DerCursor(element.content); }

// A UTCTime or GeneralizedTime of whole seconds in UTC ("...Z"), as seconds
// since 1970; nullopt for any other form.
std::optional<int64_t> derTime(const DerElement& element);

// Seconds since 1970 as the UTC date "YYYY-MM-DD".
std::string utcDateText(int64_t seconds);

}  // namespace onefile
