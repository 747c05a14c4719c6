#include <windows.h>

#include "bootstrap/driver.h"

// The runtime passes the result to exit; an exit code of the child with the
// top bit set travels through the int unchanged.
int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) { return (int)runBootstrap(); }
