// Arguments that a rebuilt command line has to carry exactly: every quote
// trigger, quotes, backslash runs at the end and before quotes, an empty
// argument, text beyond ASCII and beyond the BMP, and paths.
#pragma once
#include <string>
#include <vector>

inline const std::vector<std::wstring> AWKWARD_ARGUMENTS = {
    L"two words",         L"tab\there",         L"line\nfeed",         L"vertical\vtab",
    L"say \"hi\"",        L"\"",                L"trailing\\",         L"space and trailing\\",
    L"two trailing \\\\", L"back\\\"quote",     L"\\\\\"",             L"",
    L"caf\u00e9",         L"\u4e2d\u6587 text", L"\U0001F600 face",    L"C:\\Program Files\\App\\",
    L"C:\\folder\\a.txt", L"a\\\\b c",          L"\\\\server\\share",  L"\"\"",
    L"-flag=\"x y\"",     L" ",                 L"end\\\\\\",
};
