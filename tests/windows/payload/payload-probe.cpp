// A GUI-subsystem program, built like the bootstrap, that drives the reader
// over one payload until it ends the process, so that a test sees the
// report, its stream and the exit status of a real run.
//
//   payload-probe attached
//       opens the payload linked into the program, as the bootstrap does
//   payload-probe PAYLOAD STREAM REQUEST [past-end] [without-trailer] [guard-trailer]
//       reads STREAM's length in requests of REQUEST bytes, checking each
//       against STREAM and writing "served N" after it; past-end then asks
//       for two bytes more; without-trailer hides the trailer from the reader;
//       guard-trailer puts it on a page that cannot be read.
//   payload-probe unpack PAYLOAD TARGET GUARD
//       runs the record loop over PAYLOAD into the folder TARGET, with the
//       payload's last GUARD bytes on a page that cannot be read, and writes
//       "unpacked" once the reader has let it go on to the launch.
//
// Ends with 0 after "complete" or "unpacked", 10 when a byte differs, or as
// the reader or the record loop ends it.
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "bootstrap/console.h"
#include "guarded-memory.h"
#include "harness.h"
#include "diag/text.h"
#include "paths/target-directory.h"
#include "payload/extract.h"
#include "payload/format.h"
#include "payload/reader.h"

namespace {

constexpr int EXIT_COMPLETE = 0;
constexpr int EXIT_MISMATCH = 10;
constexpr int EXIT_USAGE = 11;

bool hasFlag(int argc, wchar_t** argv, const wchar_t* flag) {
  for (int i = 4; i < argc; ++i)
    if (wcscmp(argv[i], flag) == 0) return true;
  return false;
}

int readStream(const harness::GuardedRegion& payload, uint64_t payloadSize, const std::string& stream, uint64_t request,
               bool pastEnd) {
  openPayloadBytes(payload.data(), payloadSize);
  std::string got;
  for (uint64_t served = 0; served < stream.size();) {
    uint64_t count = request < stream.size() - served ? request : stream.size() - served;
    got.resize(count);
    payloadRead(got.data(), count);
    if (std::memcmp(got.data(), stream.data() + served, count) != 0) {
      std::fputs(("mismatch in the request at " + std::to_string(served) + "\n").c_str(), stdout);
      return EXIT_MISMATCH;
    }
    served += count;
    std::fputs(("served " + std::to_string(served) + "\n").c_str(), stdout);
  }
  if (pastEnd) {
    char more[2];
    payloadRead(more, sizeof more);
    std::fputs("served past the end\n", stdout);
  }
  closePayload();
  std::fputs("complete\n", stdout);
  return EXIT_COMPLETE;
}

int unpackInto(const wchar_t* payloadPath, const wchar_t* target, uint64_t guard) {
  harness::GuardedRegion payload(harness::readFile(payloadPath), guard);
  targetDirectory[0] = L'\0';
  appendWideBounded(targetDirectory, PATH_CAPACITY, target);
  openPayloadBytes(payload.data(), payload.size());
  unpackPayload();
  closePayload();
  std::fputs("unpacked\n", stdout);
  return EXIT_COMPLETE;
}

}  // namespace

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) {
  setupConsole();
  wchar_t** argv = __wargv;
  int argc = __argc;
  if (argc == 2 && wcscmp(argv[1], L"attached") == 0) {
    openPayload();
    std::fputs("opened\n", stdout);
    return EXIT_COMPLETE;
  }
  if (argc == 5 && wcscmp(argv[1], L"unpack") == 0) return unpackInto(argv[2], argv[3], _wcstoui64(argv[4], nullptr, 10));
  if (argc < 4) return EXIT_USAGE;
  bool guard = hasFlag(argc, argv, L"guard-trailer");
  harness::GuardedRegion payload(harness::readFile(argv[1]), guard ? PAYLOAD_TRAILER_SIZE : 0);
  uint64_t size = payload.size();
  if (hasFlag(argc, argv, L"without-trailer")) size -= PAYLOAD_TRAILER_SIZE;
  return readStream(payload, size, harness::readFile(argv[2]), _wcstoui64(argv[3], nullptr, 10),
                    hasFlag(argc, argv, L"past-end"));
}
