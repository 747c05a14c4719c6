// Failure reports and the endings of a failed run. Every failure is final: a
// report is the last thing the process does.
#pragma once
#include <stdint.h>
#include <wchar.h>

// Exit statuses of a run that does not get as far as the child.
enum : int {
  EXIT_STATUS_REPORTED = 2,     // a failure reported with a message
  EXIT_STATUS_ABORTED = 3,      // the runtime's abnormal end, after an expansion failure
  EXIT_STATUS_FULL_BUFFER = 4,  // a bounded buffer would overflow: no message
};

// The message table. Texts for fatalError carry no line break: it adds one.
inline constexpr char MESSAGE_EXPANSION_FAILED[] = "Error, couldn't runtime expand spec '%ls'.\n";
inline constexpr char MESSAGE_NO_HEADER[] = "Error, couldn't find attached data header.";
inline constexpr char MESSAGE_NO_MEMORY[] = "Error, couldn't allocate memory.";
inline constexpr char MESSAGE_DECODE_FAILED[] = "Error, couldn't decode attached data.";
inline constexpr char MESSAGE_NO_SIGNAL_HANDLER[] = "Error, failed to register signal handler.";
inline constexpr char MESSAGE_OPEN_FOR_WRITING_FAILED[] = "Error, failed to open '%ls' for writing.\n";
inline constexpr char MESSAGE_UNPACK_FAILED[] = "Error, couldn't unpack file to target path.";
inline constexpr char MESSAGE_LAUNCH_FAILED[] = "Error, couldn't launch child";

// Writes the message and one newline to standard output, then exits with 2.
[[noreturn]] void fatalError(const char* message);

// Writes "message ([Error code] system text)" to standard error.
void reportSystemError(const char* message, uint32_t errorCode);

// reportSystemError, then the end of the run with EXIT_STATUS_REPORTED.
[[noreturn]] void endOnSystemError(const char* message, uint32_t errorCode);

// reportWithWideText, then the end of the run with EXIT_STATUS_REPORTED.
[[noreturn]] void endWithWideText(const char* format, const wchar_t* text);

// Writes the expansion message naming the template that failed to standard
// error, then ends the run abnormally (status 3, no dialog, no other text).
[[noreturn]] void reportExpansionFailure(const wchar_t* pathTemplate);

// Writes format to standard error with its one "%ls" replaced by text, in a
// single locked write. Used for the messages that carry a path.
void reportWithWideText(const char* format, const wchar_t* text);

// Ends the run at once without a message: a bounded buffer is full, or a
// value the run depends on is malformed. Nothing further runs.
[[noreturn]] void endRunOnFullBuffer(void);

// The abnormal end: status 3, no runtime message, no dialog, no exit handlers.
[[noreturn]] void abortRun(void);
