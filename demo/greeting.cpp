#include "greeting.h"

GREETING_API const wchar_t* greetingText() { return L"Hello from greeting.dll, loaded beside the application."; }
