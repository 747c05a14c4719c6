// {RANDOM}, {TIME} and {TIME_US}: fresh in each run, kept for the rest of it.
#include <gtest/gtest.h>

#include <set>

#include "paths-test-support.h"
#include "paths/environment.h"
#include "paths/random-text.h"

namespace {

using paths_test::expand;
using paths_test::ScopedVariable;
using paths_test::variable;

const std::wstring ALPHABET = L"ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789-_";

std::wstring encode(const std::string& hex) {
  unsigned char bytes[RANDOM_BYTE_COUNT];
  for (unsigned i = 0; i < RANDOM_BYTE_COUNT; ++i) bytes[i] = (unsigned char)std::stoi(hex.substr(2 * i, 2), 0, 16);
  wchar_t text[RANDOM_TEXT_LENGTH + 1];
  encodeRandomBytes(bytes, text);
  return text;
}

std::string generated(uint32_t seed) {
  unsigned char bytes[RANDOM_BYTE_COUNT];
  generateRandomBytes(seed, bytes);
  std::string hex;
  for (unsigned char byte : bytes) hex += "0123456789abcdef"[byte >> 4], hex += "0123456789abcdef"[byte & 15];
  return hex;
}

// Expected texts computed with Python 3:
//   base64.urlsafe_b64encode(bytes.fromhex(HEX)).decode().rstrip("=")
TEST(RandomText, EncodesEightBytesAsUnpaddedBase64Url) {
  EXPECT_EQ(encode("0000000000000000"), L"AAAAAAAAAAA");
  EXPECT_EQ(encode("ffffffffffffffff"), L"__________8");
  EXPECT_EQ(encode("0001020304050607"), L"AAECAwQFBgc");
  EXPECT_EQ(encode("fbffbffeeffffbff"), L"-_-__u__-_8");
  EXPECT_EQ(encode("fafe3f0010831051"), L"-v4_ABCDEFE");
}

// Expected bytes computed with Python 3 from the xorshift32 step
// (s ^= s << 13; s ^= s >> 17; s ^= s << 5; modulo 2**32), taking s & 0xff
// after each of eight steps.
TEST(RandomText, GeneratesTheLowBytesOfEightXorshift32Steps) {
  EXPECT_EQ(generated(1), "2101c54fd1d01ab2");
  EXPECT_EQ(generated(0), "2101c54fd1d01ab2") << "a zero seed counts as 1";
  EXPECT_EQ(generated(0xdeadbeef), "b742583b481b5cb3");
  EXPECT_EQ(generated(0x92d68ca2), "637aa07ee1eaf23d");
}

TEST(RandomValue, IsElevenBase64UrlCharactersRepeatedInARunAndNewAfterTheReset) {
  std::set<std::wstring> seen;
  for (int run = 0; run < 50; ++run) {
    resetRunEnvironment();
    std::wstring value = expand(L"{RANDOM}").text;
    ASSERT_EQ(value.size(), 11u) << value;
    EXPECT_EQ(value.find_first_not_of(ALPHABET), std::wstring::npos) << value;
    // The last character holds the eighth byte's low 4 bits at its top.
    EXPECT_EQ(ALPHABET.find(value.back()) % 4, 0u) << value;
    EXPECT_EQ(variable(L"TRAVIK_ONEFILE_RANDOM"), value);
    EXPECT_EQ(expand(L"{RANDOM}\\{random}").text, value + L"\\" + value);
    seen.insert(value);
  }
  EXPECT_EQ(seen.size(), 50u);
}

long long systemTime() {
  FILETIME now;
  GetSystemTimeAsFileTime(&now);
  return (long long)(((unsigned long long)now.dwHighDateTime << 32) | now.dwLowDateTime);
}

bool allDigits(const std::wstring& text) {
  return !text.empty() && text.find_first_not_of(L"0123456789") == std::wstring::npos;
}

TEST(TimeValue, IsTheClocksFiletimeCountKeptInTheStartVariable) {
  resetRunEnvironment();
  long long before = systemTime();
  std::wstring time = expand(L"{TIME}").text;
  long long after = systemTime();
  ASSERT_TRUE(allDigits(time)) << time;
  EXPECT_GE(std::stoll(time), before);
  EXPECT_LE(std::stoll(time), after);
  EXPECT_EQ(variable(L"TRAVIK_ONEFILE_START"), time);
  EXPECT_EQ(expand(L"{time}").text, time);
}

// The microseconds within the second of the clock reading, six digits.
TEST(TimeValue, MicrosecondsAreSixDigitsWithinTheCurrentSecond) {
  constexpr long long SECOND = 10000000;  // in 100-nanosecond units
  for (int attempt = 0; attempt < 100; ++attempt) {
    resetRunEnvironment();
    long long before = systemTime();
    std::wstring micro = expand(L"{TIME_US}").text;
    long long after = systemTime();
    ASSERT_EQ(micro.size(), 6u) << micro;
    ASSERT_TRUE(allDigits(micro)) << micro;
    EXPECT_EQ(variable(L"TRAVIK_ONEFILE_TIME_US"), micro);
    EXPECT_EQ(expand(L"{TIME_US}").text, micro);
    if (before / SECOND != after / SECOND) continue;  // the reading straddled a second
    EXPECT_GE(std::stoll(micro), before % SECOND / 10);
    EXPECT_LE(std::stoll(micro), after % SECOND / 10);
    return;
  }
  FAIL() << "no clock reading stayed within one second";
}

TEST(RunValues, TheResetDropsInheritedValuesAndRecordsTheOwnProcessId) {
  ScopedVariable random(L"TRAVIK_ONEFILE_RANDOM", L"stored-rnd");
  ScopedVariable start(L"TRAVIK_ONEFILE_START", L"42");
  ScopedVariable micro(L"TRAVIK_ONEFILE_TIME_US", L"x y");
  ScopedVariable parent(L"TRAVIK_ONEFILE_PARENT", L"not a number");
  EXPECT_EQ(expand(L"{RANDOM}|{TIME}|{TIME_US}").text, L"stored-rnd|42|x y") << "stored values are taken as they are";
  resetRunEnvironment();
  for (const wchar_t* name : {L"TRAVIK_ONEFILE_RANDOM", L"TRAVIK_ONEFILE_START", L"TRAVIK_ONEFILE_TIME_US"})
    EXPECT_EQ(variable(name), std::nullopt) << name;
  EXPECT_EQ(variable(L"TRAVIK_ONEFILE_PARENT"), paths_test::ownProcessId());
  EXPECT_EQ(expand(L"{PID}").text, paths_test::ownProcessId());
}

// Why the end-to-end run can tell whether inherited values reach the
// expansion: a stored value too long for the room ends the run.
TEST(RunValuesDeathTest, AStoredValueTooLongForTheRoomEndsTheRun) {
  EXPECT_EXIT(
      {
        SetEnvironmentVariableW(L"TRAVIK_ONEFILE_RANDOM", std::wstring(5000, L'r').c_str());
        expand(L"{TEMP}\\{RANDOM}");
      },
      testing::ExitedWithCode(4), "^$");
}

}  // namespace
