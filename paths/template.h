// Path templates: literal text with placeholders such as {CACHE_DIR}.
#pragma once
#include <stddef.h>

// Expands templateText into output (capacity in wide characters, terminator
// included). False for an unknown placeholder, a failing system folder or a
// literal that does not fit; output then holds the text expanded so far.
bool expandTemplatePath(wchar_t* output, const wchar_t* templateText, size_t capacity);
