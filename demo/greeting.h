// The demo's own library: the application finds it beside itself when it
// starts, as the loader looks in the executable's folder first.
#pragma once

#ifdef GREETING_BUILD
#define GREETING_API extern "C" __declspec(dllexport)
#else
#define GREETING_API extern "C" __declspec(dllimport)
#endif

// A greeting that names the library, so the output shows it really loaded.
GREETING_API const wchar_t* greetingText();
