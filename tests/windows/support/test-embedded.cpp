// Attached data for test programs that link the bootstrap's routines: no
// valid payload, and the default path template and version.
#include <stdint.h>

extern "C" {
extern const unsigned char onefilePayload[] = {'N', 'O', 'N', 'E'};
extern const uint64_t onefilePayloadSize = sizeof onefilePayload;
extern const wchar_t onefilePathTemplate[] = L"{CACHE_DIR}\\Quorvane\\{VERSION}";
extern const wchar_t onefileVersionText[] = L"1.7.0";
}
