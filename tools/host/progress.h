// Progress of a long packing or extracting run, shown as a bar on a terminal.
#pragma once
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <memory>

namespace onefile {

class Progress {
 public:
  virtual ~Progress() = default;
  virtual void start(uint64_t totalBytes) = 0;
  virtual void advance(uint64_t bytes) = 0;
  virtual void finish() = 0;
};

// Redraws one line on the stream, at most a few times a second: the bar, the
// share done, the bytes, and once a second has passed the rate and the time
// left at that rate.
class TerminalProgressBar : public Progress {
 public:
  // label: what the bar shows at its start, e.g. "Packing".
  TerminalProgressBar(std::FILE* stream, const char* label) : stream_(stream), label_(label) {}
  // A bar left unfinished (the run failed) gets its line ended, so that the
  // failure's message starts a line of its own.
  ~TerminalProgressBar() override;
  void start(uint64_t totalBytes) override;
  void advance(uint64_t bytes) override;
  void finish() override;

  // A bar on the stream only where someone watches it (a terminal); none
  // otherwise.
  static std::unique_ptr<TerminalProgressBar> ifWatched(std::FILE* stream, const char* label = "Packing");

 private:
  void draw();

  std::FILE* stream_;
  const char* label_;
  uint64_t total_ = 0;
  uint64_t done_ = 0;
  std::chrono::steady_clock::time_point started_;
  std::chrono::steady_clock::time_point lastDrawn_;
  size_t drawnWidth_ = 0;  // of the last line drawn, which a shorter one overwrites
  bool drawn_ = false;
  bool finished_ = false;
};

}  // namespace onefile
