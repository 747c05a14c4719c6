// What the progress window's tests and their application share.
#pragma once

// The main program's own window.
inline constexpr wchar_t PROGRESS_APP_WINDOW[] = L"Progress Test Main";
// The executable's name and version, as its progress window shows them.
inline constexpr wchar_t PROGRESS_APP_NAME[] = L"Progress Test";
inline constexpr wchar_t PROGRESS_APP_LINE[] = L"Preparing Progress Test 1.2.3 for its first start";
// The file the tests hold while a start reaches it, so that the start takes
// as long as they need; the files before it are written first.
inline constexpr wchar_t PROGRESS_APP_HELD_FILE[] = L"data\\20.bin";
