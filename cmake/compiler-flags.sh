# shellcheck shell=bash disable=SC2034
# Compiler flags for the Windows side, defined once. Read as shell by
# scripts/setup.sh and the benchmarks, and by cmake/windows-build.cmake:
# keep to NAME="words" lines.

# The bootstrap and everything built like it: no exceptions, no RTTI, no
# unwind tables, each function in its own section so the linker drops the
# unused ones. (-fdata-sections would put zero-filled buffers into the file.)
BOOTSTRAP_COMPILE_FLAGS="-O2 -fno-exceptions -fno-rtti -fno-asynchronous-unwind-tables -ffunction-sections -municode"
# Wide Win32 calls; the runtime's own printf, which the reports rely on.
BOOTSTRAP_DEFINITIONS="UNICODE _UNICODE WIN32_LEAN_AND_MEAN __USE_MINGW_ANSI_STDIO=0"

# zstd's decompressor, built by zstd's own lib/Makefile: decoding speed
# matters more than a few KB here.
ZSTD_DECODER_CFLAGS="-O3 -DNDEBUG"
