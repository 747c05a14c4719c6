// The walk the program reader's fuzz target and its regression test share:
// read arbitrary bytes as a main program, as `onefile-pack build` reads one.
#pragma once
#include <cstddef>
#include <cstdint>

namespace fuzz_walk {

// A refusal (PackError) is an expected ending; so is a result with warnings.
// Throws std::logic_error when the result breaks what callers rely on.
void walkProgram(const uint8_t* data, size_t size);

}  // namespace fuzz_walk
