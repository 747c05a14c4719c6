// What an executable is called and numbered when neither an option nor its
// main program says: build writes them, info recognises them.
#pragma once

namespace onefile {

inline constexpr char DEFAULT_NAME[] = "Quorvane";
inline constexpr char DEFAULT_VERSION[] = "1.7.0";

}  // namespace onefile
