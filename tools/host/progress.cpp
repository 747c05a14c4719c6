#include "host/progress.h"

#include <string>

#include "host/host-system.h"

namespace onefile {
namespace {
constexpr int BAR_WIDTH = 40;
constexpr auto REDRAW_INTERVAL = std::chrono::milliseconds(100);
constexpr double MIB = 1024.0 * 1024.0;
}  // namespace

std::unique_ptr<TerminalProgressBar> TerminalProgressBar::ifWatched(std::FILE* stream, const char* label) {
  if (!isTerminal(stream)) return nullptr;
  return std::make_unique<TerminalProgressBar>(stream, label);
}

void TerminalProgressBar::start(uint64_t totalBytes) {
  total_ = totalBytes;
  done_ = 0;
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
  double fraction = total_ == 0 ? 1.0 : static_cast<double>(done_) / static_cast<double>(total_);
  if (fraction > 1.0) fraction = 1.0;
  int filled = static_cast<int>(fraction * BAR_WIDTH);
  std::string bar(filled, '#');
  bar.append(BAR_WIDTH - filled, '-');
  std::fprintf(stream_, "\r%s [%s] %3d%%  %.1f / %.1f MiB", label_, bar.c_str(), static_cast<int>(fraction * 100),
               static_cast<double>(done_) / MIB, static_cast<double>(total_) / MIB);
  std::fflush(stream_);
  lastDrawn_ = std::chrono::steady_clock::now();
  drawn_ = true;
}

}  // namespace onefile
