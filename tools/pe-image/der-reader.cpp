#include "pe-image/der-reader.h"

#include <cstdio>


namespace onefile {
namespace {

constexpr uint8_t LONG_LENGTH = 0x80;
constexpr unsigned MAX_LENGTH_BYTES = 4;  // no signature comes near 4 GiB

// Days from 1970-01-01 to the date, in the proleptic Gregorian calendar.
int64_t daysSinceEpoch(int64_t year, unsigned month, unsigned day) {
  year -= month <= 2;
  int64_t era = (year >= 0 ? year : year - 399) / 400;
  int64_t yearOfEra = year - era * 400;
  int64_t dayOfYear = (153 * (month + (month > 2 ? -3 : 9)) + 2) / 5 + day - 1;
  int64_t dayOfEra = yearOfEra * 365 + yearOfEra / 4 - yearOfEra / 100 + dayOfYear;
  return era * 146097 + dayOfEra - 719468;
}

constexpr int64_t SECONDS_PER_DAY = 86400;

std::optional<unsigned> digits(const unsigned char* text, unsigned count) {
  unsigned value = 0;
  for (unsigned i = 0; i < count; ++i) {
    if (text[i] < '0' || text[i] > '9') return std::nullopt;
    value = value * 10 + (text[i] - '0');
  }
  return value;
}

}  // namespace

std::optional<DerElement> DerCursor::next() {
  std::optional<uint64_t> tag = bytes_.field(offset_, 1), first = bytes_.field(offset_ + 1, 1);
  if (!tag || !first || (*tag & 0x1F) == 0x1F) return std::nullopt;  // multi-byte tags: none in what is read here
  uint64_t header = 2, length = *first;
  if (*first & LONG_LENGTH) {
    unsigned count = *first & 0x7F;
    if (count == 0 || count > MAX_LENGTH_BYTES) return std::nullopt;
    length = 0;
    for (unsigned i = 0; i < count; ++i) {
      std::optional<uint64_t> byte = bytes_.field(offset_ + 2 + i, 1);
      if (!byte) return std::nullopt;
      length = length << 8 | *byte;
    }
    // DER writes each length in its one shortest form: a long form that
    // would fit in fewer bytes (or in the short form) is not DER.
    if (length < LONG_LENGTH || length >> (8 * (count - 1)) == 0) return std::nullopt;
    header += count;
  }
  std::optional<ByteView> whole = bytes_.part(offset_, header + length);
  if (!whole) return std::nullopt;
  DerElement element{static_cast<uint8_t>(*tag), *whole, *whole->part(header, length)};
  offset_ += header + length;
  return element;
}

std::optional<DerElement> DerCursor::next(uint8_t tag) {
  DerCursor ahead = *this;
  std::optional<DerElement> element = ahead.next();
  if (!element || element->tag != tag) return std::nullopt;
  *this = ahead;
  return element;
}

std::optional<int64_t> derTime(const DerElement& element) {
  const unsigned char* text = element.content.data();
  size_t size = element.content.size();
  unsigned yearDigits = element.tag == DER_UTC_TIME ? 2 : element.tag == DER_GENERALIZED_TIME ? 4 : 0;
  if (yearDigits == 0 || size != yearDigits + 11 || text[size - 1] != 'Z') return std::nullopt;
  std::optional<unsigned> year = digits(text, yearDigits), month = digits(text + yearDigits, 2),
                          day = digits(text + yearDigits + 2, 2), hour = digits(text + yearDigits + 4, 2),
                          minute = digits(text + yearDigits + 6, 2), second = digits(text + yearDigits + 8, 2);
  if (!year || !month || !day || !hour || !minute || !second) return std::nullopt;
  if (*month < 1 || *month > 12 || *day < 1 || *day > 31 || *hour > 23 || *minute > 59 || *second > 60)
    return std::nullopt;
  int64_t fullYear = yearDigits == 4 ? *year : *year < 50 ? 2000 + *year : 1900 + *year;  // RFC 5280's window
  return daysSinceEpoch(fullYear, *month, *day) * SECONDS_PER_DAY + *hour * 3600 + *minute * 60 + *second;
}

// The inverse of daysSinceEpoch.
std::string utcDateText(int64_t seconds) {
  int64_t days = (seconds >= 0 ? seconds : seconds - SECONDS_PER_DAY + 1) / SECONDS_PER_DAY + 719468;
  int64_t era = (days >= 0 ? days : days - 146096) / 146097;
  int64_t dayOfEra = days - era * 146097;
  int64_t yearOfEra = (dayOfEra - dayOfEra / 1460 + dayOfEra / 36524 - dayOfEra / 146096) / 365;
  int64_t dayOfYear = dayOfEra - (365 * yearOfEra + yearOfEra / 4 - yearOfEra / 100);
  int64_t shiftedMonth = (5 * dayOfYear + 2) / 153;
  int64_t day = dayOfYear - (153 * shiftedMonth + 2) / 5 + 1;
  int64_t month = shiftedMonth < 10 ? shiftedMonth + 3 : shiftedMonth - 9;
  int64_t year = yearOfEra + era * 400 + (month <= 2);
  char text[64];
  std::snprintf(text, sizeof text, "%04lld-%02lld-%02lld", static_cast<long long>(year), static_cast<long long>(month),
                static_cast<long long>(day));
  return text;
}

}  // namespace onefile
