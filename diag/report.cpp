#include "diag/report.h"

#include <windows.h>
#include <signal.h>
#include <stdio.h>
#include <stdlib.h>

#include "diag/report-window.h"
#include "diag/text.h"

namespace {

constexpr DWORD SYSTEM_TEXT_FLAGS = FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS |
                                    FORMAT_MESSAGE_ALLOCATE_BUFFER;  // 0x1300
constexpr DWORD SYSTEM_TEXT_LANGUAGE = 0x409;  // English (United States), whatever the user's

// A report is built in pieces and written while the stream's lock is held,
// so that nothing else in the process can interleave with it.
//
// The bytes go to the standard handle the console set-up left for the stream
// (the handle behind it, or the console device), not through the stream: the
// stream's descriptor may be in UTF-8 translation, which refuses or garbles
// narrow text, or may have none where a runtime would not reopen it. Line
// ends are written as CR LF, as the streams' text mode would. Where the handle
// leads nowhere, the whole report is kept as UTF-16 text, every character of
// it, and shown in a window instead.
struct ReportWriter {
  FILE* stream;
  HANDLE destination;
  bool toWindow;
  char bytes[REPORT_TEXT_CAPACITY];
  wchar_t units[REPORT_TEXT_CAPACITY];  // the window's text, without CRs
  size_t length;
};

void flushReport(ReportWriter* writer) {
  const char* next = writer->bytes;
  DWORD left = (DWORD)writer->length;
  DWORD written = 0;
  // A failed report goes unnoticed; a short write is continued.
  while (left != 0 && WriteFile(writer->destination, next, left, &written, nullptr) && written != 0) {
    next += written;
    left -= written;
  }
  writer->length = 0;
}

void putRawByte(ReportWriter* writer, char byte) {
  if (writer->length == REPORT_TEXT_CAPACITY) flushReport(writer);
  writer->bytes[writer->length++] = byte;
}

// A window shows the report's beginning when it is longer than the buffer.
void putUnit(ReportWriter* writer, wchar_t unit) {
  if (writer->length < REPORT_TEXT_CAPACITY) writer->units[writer->length++] = unit;
}

void putByte(ReportWriter* writer, char byte) {
  if (writer->toWindow) return putUnit(writer, (wchar_t)(unsigned char)byte);
  if (byte == '\n') putRawByte(writer, '\r');
  putRawByte(writer, byte);
}

void putNarrow(ReportWriter* writer, const char* text, const char* end) {
  for (; text != end && *text != '\0'; ++text) putByte(writer, *text);
}

// The runtime's default locale writes a code unit up to U+00FF as the byte of
// the same value; the first unit above ends the argument, not the report. A
// window takes every unit: its user sees the path as it is.
void putWide(ReportWriter* writer, const wchar_t* text) {
  for (; *text != L'\0'; ++text) {
    if (writer->toWindow) {
      putUnit(writer, *text);
    } else if (*text <= 0xFF) {
      putByte(writer, (char)(unsigned char)*text);
    } else {
      return;
    }
  }
}

// Windows error codes are shown as signed 32-bit numbers, so codes with the
// top bit set (HRESULTs, NTSTATUS values) come out negative.
void putSigned(ReportWriter* writer, int32_t value) {
  char digits[DECIMAL_TEXT_CAPACITY];
  formatDecimal(digits, sizeof digits, value, 1);
  putNarrow(writer, digits, nullptr);
}

void beginReport(ReportWriter* writer, FILE* stream) {
  void (*prelude)(void) = beforeReport;
  beforeReport = nullptr;
  if (prelude != nullptr) prelude();
  writer->stream = stream;
  writer->destination = GetStdHandle(stream == stdout ? STD_OUTPUT_HANDLE : STD_ERROR_HANDLE);
  writer->toWindow = isReportWindowWanted(writer->destination);
  writer->length = 0;
  _lock_file(stream);
}

void endReport(ReportWriter* writer) {
  if (writer->toWindow) {
    _unlock_file(writer->stream);
    showReportWindow(writer->units, writer->length);
    return;
  }
  flushReport(writer);
  _unlock_file(writer->stream);
}

// Fetches the system's English text for errorCode with trailing line breaks
// removed; "" when the system has none (its pointer is then never set).
const char* systemErrorText(uint32_t errorCode) {
  char* text = nullptr;
  DWORD length = FormatMessageA(SYSTEM_TEXT_FLAGS, nullptr, errorCode, SYSTEM_TEXT_LANGUAGE,
                                (LPSTR)&text, 0, nullptr);
  if (length == 0 || text == nullptr) return "";
  while (length > 0 && (text[length - 1] == '\r' || text[length - 1] == '\n')) text[--length] = '\0';
  return text;  // the process ends right after the report: not released
}

void __cdecl exitAbnormally(int) { _exit(EXIT_STATUS_ABORTED); }

}  // namespace

void fatalError(const char* message) {
  ReportWriter writer;
  beginReport(&writer, stdout);
  putNarrow(&writer, message, nullptr);
  putByte(&writer, '\n');
  endReport(&writer);
  exit(EXIT_STATUS_REPORTED);
}

void reportSystemError(const char* message, uint32_t errorCode) {
  const char* text = systemErrorText(errorCode);
  ReportWriter writer;
  beginReport(&writer, stderr);
  putNarrow(&writer, message, nullptr);
  putNarrow(&writer, " ([Error ", nullptr);
  putSigned(&writer, (int32_t)errorCode);
  putNarrow(&writer, "] ", nullptr);
  putNarrow(&writer, text, nullptr);
  putNarrow(&writer, ")\n", nullptr);
  endReport(&writer);
}

void endOnSystemError(const char* message, uint32_t errorCode) {
  reportSystemError(message, errorCode);
  exit(EXIT_STATUS_REPORTED);
}

void endWithWideText(const char* format, const wchar_t* text) {
  reportWithWideText(format, text);
  exit(EXIT_STATUS_REPORTED);
}

void reportWithWideText(const char* format, const wchar_t* text) {
  const char* placeholder = format;
  while (*placeholder != '\0' && !(placeholder[0] == '%' && placeholder[1] == 'l' && placeholder[2] == 's'))
    ++placeholder;
  ReportWriter writer;
  beginReport(&writer, stderr);
  putNarrow(&writer, format, placeholder);
  if (*placeholder != '\0') {
    putWide(&writer, text);
    putNarrow(&writer, placeholder + 3, nullptr);
  }
  endReport(&writer);
}

void reportExpansionFailure(const wchar_t* pathTemplate) {
  reportWithWideText(MESSAGE_EXPANSION_FAILED, pathTemplate);
  abortRun();
}

void endRunOnFullBuffer(void) { _exit(EXIT_STATUS_FULL_BUFFER); }

// The runtime's abort may show a message box or print its own text in a GUI
// program before it ends the process. Raising SIGABRT with a handler of our
// own takes the same abnormal path without either: status 3, no exit handlers.
void abortRun(void) {
  signal(SIGABRT, exitAbnormally);
  raise(SIGABRT);
  _exit(EXIT_STATUS_ABORTED);
}
