// Whether a record's name stays inside the target directory (name-inside-folder.cpp).
#pragma once

// True when name, taken relative to the target directory, names a file below
// it: no leading separator, no colon (a drive or a stream), no empty
// component, no component that Windows reads as "." or "..", and none that
// it reads as a device (CON, NUL, COM1, ...). Every name the packer writes
// passes.
bool isNameInsideFolder(const wchar_t* name);
