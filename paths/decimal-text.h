// Decimal texts of numbers: process IDs and clock values.
#pragma once
#include <stddef.h>

#include "diag/limits.h"

// A sign, the 19 digits of any 64-bit value and the terminator.
enum : unsigned { DECIMAL_TEXT_CAPACITY = 24 };

// Writes value in decimal into text, padded with leading zeros to at least
// minimumDigits digits, as printf's "%0*lld" does. A text that does not fit
// ends the run.
void formatDecimal(char* text, size_t capacity, long long value, unsigned minimumDigits);

// The bootstrap's own process ID in decimal.
void formatOwnProcessId(char (&text)[PROCESS_ID_TEXT_CAPACITY]);
