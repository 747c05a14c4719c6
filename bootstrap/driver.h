// The start-up sequence from entry to the child's exit code.
#pragma once
#include <stdint.h>

// Runs every step in order; returns the child's exit status.
uint32_t runBootstrap(void);
