// Replays every input kept in regressions/: the crashes the fuzzers found,
// and the awkward inputs they started from. Each payload must be read to its
// end or to a PayloadDamage, like any other damaged payload; each program
// refused with one line or read with one-line warnings.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "file-bytes.h"
#include "payload-walk.h"
#include "program-walk.h"

namespace {

const std::filesystem::path REGRESSIONS = FUZZ_REGRESSIONS_DIR;

template <typename Walk>
int replayAll(const char* folder, Walk walk) {
  int replayed = 0;
  for (const auto& entry : std::filesystem::directory_iterator(REGRESSIONS / folder)) {
    std::string bytes = host_test::readFile(entry.path());
    SCOPED_TRACE(entry.path().filename().string());
    EXPECT_NO_THROW(walk(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size()));
    ++replayed;
  }
  return replayed;
}

TEST(FuzzRegressions, EveryKeptPayloadIsReadToItsEndOrItsDamage) {
  EXPECT_GT(replayAll("payload", fuzz_walk::walkPayload), 0);
}

TEST(FuzzRegressions, EveryKeptRecordStreamIsReadToItsEndOrItsDamage) {
  EXPECT_GT(replayAll("records", fuzz_walk::walkRecordStream), 0);
}

TEST(FuzzRegressions, EveryKeptIndexIsReadToItsEndOrItsDamage) {
  EXPECT_GT(replayAll("index", fuzz_walk::walkIndexes), 0);
}

TEST(FuzzRegressions, EveryKeptProgramIsRefusedOrReadWithWarnings) {
  EXPECT_GT(replayAll("program", fuzz_walk::walkProgram), 0);
}

}  // namespace
