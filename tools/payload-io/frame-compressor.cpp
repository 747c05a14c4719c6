#include "payload-io/frame-compressor.h"

// For the frame's progression, which counts the input the workers have compressed.
#define ZSTD_STATIC_LINKING_ONLY
#include <zstd.h>

#include <string>

#include "host/pack-error.h"

namespace onefile {
namespace {

void check(size_t result, const char* what) {
  if (ZSTD_isError(result)) throw PackError("zstd", std::string(what) + ": " + ZSTD_getErrorName(result));
}

void setParameter(ZSTD_CCtx* context, ZSTD_cParameter parameter, int value, const char* what) {
  check(ZSTD_CCtx_setParameter(context, parameter, value), what);
}

}  // namespace

FrameCompressor::FrameCompressor(const CompressionSettings& settings, ByteSink& sink)
    : context_(ZSTD_createCCtx()), sink_(sink), buffer_(ZSTD_CStreamOutSize()) {
  if (context_ == nullptr) throw PackError("zstd", "cannot create a compression context");
  setParameter(context_, ZSTD_c_compressionLevel, settings.level, "compression level");
  setParameter(context_, ZSTD_c_windowLog, settings.windowLog, "window log");
  setParameter(context_, ZSTD_c_contentSizeFlag, 0, "content size flag");
  setParameter(context_, ZSTD_c_checksumFlag, settings.contentChecksum ? 1 : 0, "checksum flag");
  setParameter(context_, ZSTD_c_dictIDFlag, 0, "dictionary ID flag");
  if (settings.threads > 0) {
    setParameter(context_, ZSTD_c_nbWorkers, settings.threads, "worker threads (is libzstd multithreaded?)");
    setParameter(context_, ZSTD_c_jobSize, static_cast<int>(settings.jobSize), "job size");
    setParameter(context_, ZSTD_c_overlapLog, settings.overlapLog, "overlap");
  }
}

FrameCompressor::~FrameCompressor() { ZSTD_freeCCtx(context_); }

// The frame's size is never announced: the first call always continues, so
// zstd neither learns the input size (it would shrink the window and write a
// content size for small inputs) nor takes its one-shot path.
void FrameCompressor::feed(const void* bytes, size_t size) {
  if (size > 0) drive(bytes, size, ZSTD_e_continue);
}

void FrameCompressor::flush() { drive(nullptr, 0, ZSTD_e_flush); }

void FrameCompressor::finish() { drive(nullptr, 0, ZSTD_e_end); }

void FrameCompressor::drive(const void* bytes, size_t size, ZSTD_EndDirective directive) {
  ZSTD_inBuffer input = {bytes, size, 0};
  for (;;) {
    ZSTD_outBuffer output = {buffer_.data(), buffer_.size(), 0};
    size_t remaining = ZSTD_compressStream2(context_, &output, &input, directive);
    check(remaining, "compression failed");
    if (output.pos > 0) sink_.write(buffer_.data(), output.pos);
    compressedBytes_ += output.pos;
    reportProgress();
    bool inputDone = input.pos == input.size;
    if (directive == ZSTD_e_continue ? inputDone : remaining == 0) return;
  }
}

// Called between the compressor's steps: with threads, a step that waits for
// a job returns as soon as the job has compressed its next chunk.
void FrameCompressor::reportProgress() {
  if (progress_ == nullptr) return;
  uint64_t consumed = ZSTD_getFrameProgression(context_).consumed;
  if (consumed <= reportedBytes_) return;
  progress_->advance(consumed - reportedBytes_);
  reportedBytes_ = consumed;
}

}  // namespace onefile
