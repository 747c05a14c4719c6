// Attached data for test programs that link the bootstrap's routines: no
// valid payload, and the default path template and version. Linked as an
// object, so that it is set before any test runs.
#include "resources/embedded.h"

namespace {

const unsigned char noPayload[] = {'N', 'O', 'N', 'E'};

struct TestAttachedData {
  TestAttachedData() {
    onefilePayload = noPayload;
    onefilePayloadSize = sizeof noPayload;
    onefilePathTemplate = L"{CACHE_DIR}\\Quorvane\\{VERSION}";
    onefileVersionText = L"1.7.0";
  }
} testAttachedData;

}  // namespace
