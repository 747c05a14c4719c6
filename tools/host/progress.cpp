#include "host/progress.h"

#include <string>

#include "host/counted-text.h"
#include "host/host-system.h"

namespace onefile {
namespace {
// Narrow enough that the whole line fits a console of 80 columns.
constexpr int BAR_WIDTH = 20;
constexpr auto REDRAW_INTERVAL = std::chrono::milliseconds(100);
// A rate measured over less time says little about the time left.
constexpr double FIRST_RATE_SECONDS = 1.0;

// "0:42", "12:05", "1:02:03".
std::string durationText(double seconds) {
  auto whole = static_cast<unsigned long long>(seconds + 0.5);
  char text[32];
  if (whole >= 3600)
    std::snprintf(text, sizeof text, "%llu:%02llu:%02llu", whole / 3600, whole / 60 % 60, whole % 60);
  else
    std::snprintf(text, sizeof text, "%llu:%02llu", whole / 60, whole % 60);
  return text;
}

}  // namespace

std::unique_ptr<TerminalProgressBar> TerminalProgressBar::ifWatched(std::FILE* stream, const char* label) {
  if (!isTerminal(stream)) return nullptr;
  return std::make_unique<TerminalProgressBar>(stream, label);
}

void TerminalProgressBar::start(uint64_t totalBytes) {
  total_ = totalBytes;
  done_ = 0;
  started_ = std::chrono::steady_clock::now();
  draw();
}

void TerminalProgressBar::advance(uint64_t bytes) {
  done_ += bytes;
  auto now = std::chrono::steady_clock::now();
  if (now - lastDrawn_ >= REDRAW_INTERVAL) draw();
}

void TerminalProgressBar::finish() {
  done_ = total_;
  draw();
  std::fputc('\n', stream_);
  std::fflush(stream_);
  finished_ = true;
}

TerminalProgressBar::~TerminalProgressBar() {
  if (drawn_ && !finished_) std::fputc('\n', stream_);
}

void TerminalProgressBar::draw() {
  auto now = std::chrono::steady_clock::now();
  uint64_t done = done_ < total_ ? done_ : total_;
  double fraction = total_ == 0 ? 1.0 : static_cast<double>(done) / static_cast<double>(total_);
  int filled = static_cast<int>(fraction * BAR_WIDTH);
  std::string line = "\r" + std::string(label_) + " [" + std::string(filled, '#') + std::string(BAR_WIDTH - filled, '-');
  char share[16];
  std::snprintf(share, sizeof share, "] %3d%%", static_cast<int>(fraction * 100));
  line += share + std::string("  ") + sizeText(done) + " of " + sizeText(total_);
  double seconds = std::chrono::duration<double>(now - started_).count();
  if (seconds >= FIRST_RATE_SECONDS && done > 0) {
    double rate = static_cast<double>(done) / seconds;
    line += "  " + sizeText(static_cast<uint64_t>(rate)) + "/s";
    if (done < total_) line += "  " + durationText(static_cast<double>(total_ - done) / rate) + " left";
  }
  size_t width = line.size();
  if (width < drawnWidth_) line.append(drawnWidth_ - width, ' ');
  drawnWidth_ = width;
  std::fputs(line.c_str(), stream_);
  std::fflush(stream_);
  lastDrawn_ = now;
  drawn_ = true;
}

}  // namespace onefile
