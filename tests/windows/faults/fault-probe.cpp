// A start of the bootstrap, built like it, over a payload read from a file,
// in which the n-th call made through the system-call table fails as the
// fault table says (n = 0: none fails). Before the failure reaches the
// bootstrap, the probe writes one line to standard error:
//
//   fault: <n> <call and its job>|<the path it was given, if any>
//
// so that the test knows which call failed and which ending to expect. When
// the call that failed was a library's load or a function's look-up, the
// first call then made of what is missing adds a line:
//
//   fault: then <function>
//
//   fault-probe <payload file> <n> [<closing threads>]
//
// A start that completes without reaching call n says on standard error how
// many calls it made, and how many of them came before the bootstrap looked
// for its attached data (loading the system's libraries, the console, the
// environment: the same calls whatever the cache holds):
//
//   calls: <count>, <count before> at start-up, <count> on closing threads
//
// "none" in place of n fails no call and says the same.
//
// With ONEFILE_FAULT_REFUSE=<function>:<code> in its environment, every call
// of that function fails as its row says, with that error code instead (a
// file system that refuses every link, say), and the calls are not noted;
// with ONEFILE_FAULT_TALLY naming a file too, their number so far is
// written there at each.
//
// With closing threads, the files written are closed on that many threads
// beside the unpacking. Their calls come in an order that depends on timing,
// so they are numbered apart: "c<k>" in place of n fails the k-th of them.
// How often a thread rests depends on timing too, so a rest takes no number
// at all: "rest" fails the first one. Every start then makes the same calls
// in each sequence.
#include <windows.h>
#include <stdlib.h>
#include <string.h>

#include <set>
#include <string>
#include <type_traits>

#include "bootstrap/console.h"
#include "bootstrap/driver-seams.h"
#include "bootstrap/progress-window-seams.h"
#include "diag/limits.h"
#include "diag/system-calls.h"
#include "diag/system-libraries.h"
#include "fault-table.h"
#include "paths/environment.h"
#include "payload/close-pool-seams.h"
#include "resources/embedded.h"

namespace {

LONG failingCall;  // n of the call that fails; 0 for none
bool failingRest;  // the first rest fails instead
LONG failingClosingCall;  // k of the closing threads' call that fails instead
bool countingOnly;  // none fails, and the counts are said
LONG startUpCalls;
LONG volatile callsMade, closingCallsMade, restFailed, faultTaken;
DWORD closingThreadSlot;  // set on the closing threads
std::string refusedFunction;  // every call of it fails, with refusedCode
DWORD refusedCode;
LONG volatile refusedCalls;
// The real table, for the probe's own use and for the calls that do not fail;
// its library rows are filled by the start-up's loads, which are counted.
SystemCalls realCalls = systemCalls;
bool unavailableCallNoted;
std::set<std::wstring> directoriesTried;

void writeNote(const std::string& text) {
  DWORD written = 0;
  realCalls.writeFile(GetStdHandle(STD_ERROR_HANDLE), text.data(), (DWORD)text.size(), &written, nullptr);
}

std::string narrowPath(const wchar_t* path) {
  std::string narrow;
  for (; path != nullptr && *path != L'\0'; ++path) narrow += *path < 0x80 ? (char)*path : '?';
  return narrow;
}

// The job a call's arguments give it, and the path it names; most calls have one job.
template <typename... Arguments>
std::string jobOf(const char*, const wchar_t**, Arguments...) {
  return "";
}

std::wstring lastWriteOpen;  // the path of the latest open for writing, which a cut then names
std::string lastOpenJob;     // the job of the latest open, which a query of its handle shares

std::string openJob(LPCWSTR name, DWORD access, DWORD disposition, DWORD flags) {
  if ((flags & FILE_FLAG_BACKUP_SEMANTICS) != 0) return " folder";
  if (access == FILE_READ_ATTRIBUTES) return " names";
  if ((flags & FILE_FLAG_OPEN_REPARSE_POINT) != 0) return " beside";
  if (access == GENERIC_READ) return " check";
  if (disposition != OPEN_ALWAYS) return " console";
  lastWriteOpen = name;
  return " write";
}

std::string jobOf(const char*, const wchar_t** path, LPCWSTR name, DWORD access, DWORD, LPSECURITY_ATTRIBUTES,
                  DWORD disposition, DWORD flags, HANDLE) {
  *path = name;
  lastOpenJob = openJob(name, access, disposition, flags);
  return lastOpenJob;
}

// The removal of older versions asks whether a folder it holds is a plain
// one; taking a file asks which file a handle names.
std::string jobOf(const char*, const wchar_t**, HANDLE, LPBY_HANDLE_FILE_INFORMATION) {
  return lastOpenJob == " folder" ? " folder" : " identity";
}

// The listing of the versions beside the target asks for no short names.
std::string jobOf(const char*, const wchar_t** path, LPCWSTR pattern, FINDEX_INFO_LEVELS level, LPVOID,
                  FINDEX_SEARCH_OPS, LPVOID, DWORD) {
  *path = pattern;
  return level == FindExInfoBasic ? " versions" : "";
}

// A name removed so that a file another name shares is made anew.
std::string jobOf(const char* function, const wchar_t** path, LPCWSTR name) {
  *path = name;
  return strcmp(function, "DeleteFileW") == 0 && lastOpenJob == " write" ? " shared" : "";
}

std::string jobOf(const char*, const wchar_t** path, LPCWSTR newName, LPCWSTR, LPSECURITY_ATTRIBUTES) {
  *path = newName;
  return "";
}

// The file beside that a take holds: the folders made while it is held are
// made for the link, and one that cannot be made leaves the file to be
// written, which makes it again.
HANDLE heldBeside;

std::string jobOf(const char* function, const wchar_t** path, HANDLE handle) {
  if (strcmp(function, "SetEndOfFile") == 0) *path = lastWriteOpen.c_str();
  if (strcmp(function, "CloseHandle") == 0 && handle == heldBeside) heldBeside = nullptr;
  return "";
}

template <typename Result>
Result noteResult(const std::string& job, Result result) {
  if constexpr (std::is_same_v<Result, HANDLE>)
    if (job == " beside" && result != INVALID_HANDLE_VALUE) heldBeside = result;
  return result;
}

std::string jobOf(const char*, const wchar_t**, HMODULE, LPWSTR, DWORD size) {
  return size == MODULE_PATH_CAPACITY ? " directory" : " argument";
}

std::string jobOf(const char*, const wchar_t** path, LPCWSTR name, LPSECURITY_ATTRIBUTES) {
  *path = name;
  bool first = directoriesTried.insert(name).second;
  if (heldBeside != nullptr) return " link";
  return first ? " first" : " again";
}

std::string jobOf(const char*, const wchar_t** path, LPCWSTR library, HANDLE, DWORD) {
  *path = library;
  const wchar_t* name = wcsrchr(library, L'\\');
  return " " + narrowPath(name == nullptr ? library : name + 1);
}

std::string jobOf(const char*, const wchar_t**, HMODULE, LPCSTR function) { return std::string(" ") + function; }

// The closing threads are known by their routine; of the others, the removal
// of older versions reserves a deep stack, and the progress window's thread
// takes the default one.
bool isRemovalThread(LPTHREAD_START_ROUTINE routine, DWORD flags) {
  return routine != closeQueuedFiles && (flags & STACK_SIZE_PARAM_IS_A_RESERVATION) != 0;
}

std::string jobOf(const char*, const wchar_t**, LPSECURITY_ATTRIBUTES, SIZE_T, LPTHREAD_START_ROUTINE routine, LPVOID,
                  DWORD flags, LPDWORD) {
  if (routine == closeQueuedFiles) return " closing";
  return isRemovalThread(routine, flags) ? " removal" : " window";
}

void writeTally(LONG calls) {
  wchar_t path[MAX_PATH];
  DWORD length = GetEnvironmentVariableW(L"ONEFILE_FAULT_TALLY", path, MAX_PATH);
  if (length == 0 || length >= MAX_PATH) return;
  HANDLE file = realCalls.createFile(path, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
  if (file == INVALID_HANDLE_VALUE) return;
  std::string text = std::to_string(calls) + "\n";
  DWORD written = 0;
  realCalls.writeFile(file, text.data(), (DWORD)text.size(), &written, nullptr);
  realCalls.closeHandle(file);
}

const FaultRow& rowFor(const std::string& call) {
  const FaultRow* row = findFaultRow(call);
  if (row != nullptr) return *row;
  writeNote("fault probe: no row for " + call + "\n");
  ExitProcess(99);
  return FAULT_ROWS[0];
}

// The first call made of a library or function that could not be had.
template <typename Function>
void noteIfUnavailable(Function function, const char* name) {
  if (function != UnavailableCall<Function>::call || unavailableCallNoted) return;
  unavailableCallNoted = true;
  writeNote(std::string("fault: then ") + name + "\n");
}

template <typename Result>
Result resultOf(intptr_t failure) {
  if constexpr (std::is_pointer_v<Result>) {
    return reinterpret_cast<Result>(failure);
  } else {
    return static_cast<Result>(failure);
  }
}

// A closing thread, marked so that its calls are numbered apart.
DWORD WINAPI closeQueuedFilesMarked(void* parameter) {
  TlsSetValue(closingThreadSlot, (void*)1);
  return closeQueuedFiles(parameter);
}

// The removal of older versions runs here and now, on the calling thread,
// rather than beside the waiting one, so that its calls come in the same
// order in every run and each is failed in turn. The progress window's
// thread does not run: it stands for one that could make no window, which
// the probe's starts (with no display of their own) need not show. The
// handle returned is one that is already signalled, as a thread's is once
// it has ended. The closing threads wait for files, and start as threads.
HANDLE runInline(LPSECURITY_ATTRIBUTES security, SIZE_T stack, LPTHREAD_START_ROUTINE routine, LPVOID parameter,
                 DWORD flags, LPDWORD id) {
  if (routine == closeQueuedFiles)
    return realCalls.createThread(security, stack, closeQueuedFilesMarked, parameter, flags, id);
  if (isRemovalThread(routine, flags)) routine(parameter);
  return CreateEventW(nullptr, TRUE, TRUE, nullptr);
}

template <auto Entry>
constexpr bool RUNS_INLINE = false;
template <>
constexpr bool RUNS_INLINE<&SystemCalls::createThread> = true;
template <auto Entry>
constexpr bool IS_REST = false;
template <>
constexpr bool IS_REST<&SystemCalls::sleepConditionVariable> = true;

// Whether this call is the one that fails; number is what the note calls it.
bool takesTheFault(bool rest, std::string* number) {
  if (rest) {
    *number = "rest";
    return failingRest && InterlockedExchange(&restFailed, 1) == 0;
  }
  DWORD error = GetLastError();  // which TlsGetValue clears
  bool onClosingThread = TlsGetValue(closingThreadSlot) != nullptr;
  SetLastError(error);
  LONG made = InterlockedIncrement(onClosingThread ? &closingCallsMade : &callsMade);
  *number = (onClosingThread ? "c" : "") + std::to_string(made);
  return made == (onClosingThread ? failingClosingCall : failingCall);
}

// One wrapper per table entry: counts the call, and fails it when its turn has come.
template <auto Entry>
struct Counted;

template <typename Result, typename... Arguments, Result (*SystemCalls::*Entry)(Arguments...)>
struct Counted<Entry> {
  static inline const char* function;

  static Result call(Arguments... arguments) {
    const wchar_t* path = nullptr;
    std::string job = jobOf(function, &path, arguments...);  // kept for every call: "again" needs the history
    noteIfUnavailable(realCalls.*Entry, function);
    if (refusedFunction == function) {
      writeTally(InterlockedIncrement(&refusedCalls));
      SetLastError(refusedCode);
      return resultOf<Result>(rowFor(function).failure);
    }
    std::string number;
    if (!takesTheFault(IS_REST<Entry>, &number)) {
      if constexpr (RUNS_INLINE<Entry>) return runInline(arguments...);
      if constexpr (std::is_void_v<Result>) return (realCalls.*Entry)(arguments...);
      else return noteResult(job, (realCalls.*Entry)(arguments...));
    }
    std::string call = std::string(function) + job;
    const FaultRow& row = rowFor(call);
    faultTaken = 1;
    writeNote("fault: " + number + " " + call + "|" + narrowPath(path) + "\n");
    if (row.releases) (realCalls.*Entry)(arguments...);
    SetLastError(row.errorCode);
    return resultOf<Result>(row.failure);
  }
};

template <auto Entry>
void count(const char* function, bool needsRow = true) {
  bool hasRow = false;
  for (const FaultRow& row : FAULT_ROWS) hasRow |= strncmp(row.call, function, strlen(function)) == 0;
  if (needsRow && !hasRow) {
    writeNote(std::string("fault probe: no row for ") + function + "\n");
    ExitProcess(99);
  }
  Counted<Entry>::function = function;
  systemCalls.*Entry = Counted<Entry>::call;
}

// The windows' calls are made only where a report has no stream to go to or
// a start shows its progress, which no start here does: they need no rows
// unless a start reaches them (the window tests show their failures).
void countEveryCall(void) {
#define COUNT_ROW(entry, function) count<&SystemCalls::entry>(#function);
#define COUNT_WINDOW_ROW(entry, function) count<&SystemCalls::entry>(#function, false);
  BOOTSTRAP_SYSTEM_CALLS(COUNT_ROW)
  BOOTSTRAP_SHELL32_CALLS(COUNT_ROW)
  BOOTSTRAP_USER32_CALLS(COUNT_WINDOW_ROW)
  BOOTSTRAP_GDI32_CALLS(COUNT_WINDOW_ROW)
  BOOTSTRAP_COMCTL32_CALLS(COUNT_WINDOW_ROW)
#undef COUNT_WINDOW_ROW
#undef COUNT_ROW
}

// The payload lives as long as the process, as an attached one does.
bool readPayload(const wchar_t* path) {
  HANDLE file = realCalls.createFile(path, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
  if (file == INVALID_HANDLE_VALUE) return false;
  DWORD size = realCalls.getFileSize(file, nullptr);
  unsigned char* bytes = (unsigned char*)malloc(size);
  DWORD read = 0;
  bool whole = bytes != nullptr && ReadFile(file, bytes, size, &read, nullptr) && read == size;
  realCalls.closeHandle(file);
  onefilePayload = bytes;
  onefilePayloadSize = size;
  return whole;
}

void readRefusal(void) {
  char refusal[128];
  DWORD length = GetEnvironmentVariableA("ONEFILE_FAULT_REFUSE", refusal, sizeof refusal);
  if (length == 0 || length >= sizeof refusal) return;
  std::string text(refusal, length);
  size_t colon = text.find(':');
  refusedFunction = text.substr(0, colon);
  refusedCode = colon == std::string::npos ? 0 : strtoul(text.c_str() + colon + 1, nullptr, 10);
}

}  // namespace

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) {
  if ((__argc != 3 && __argc != 4) || !readPayload(__wargv[1])) return 98;
  const wchar_t* failing = __wargv[2];
  failingRest = wcscmp(failing, L"rest") == 0;
  countingOnly = wcscmp(failing, L"none") == 0;
  if (failing[0] == L'c') failingClosingCall = (LONG)wcstoul(failing + 1, nullptr, 10);
  else if (!failingRest && !countingOnly) failingCall = (LONG)wcstoul(failing, nullptr, 10);
  closingThreadSlot = TlsAlloc();
  onefileCloseThreads = __argc == 4 ? wcstoul(__wargv[3], nullptr, 10) : 0;
  onefilePathTemplate = FAULT_TEMPLATE;
  onefileVersionText = FAULT_VERSION;
  onefileRemovesOldVersions = true;
  onefileLinksBetweenVersions = true;
  readRefusal();
  // The progress window's thread is started at the first piece written.
  onefileShowsProgress = true;
  progressWindowDelayMs = 0;
  onefileApplicationName = L"fault-probe";
  countEveryCall();
  // The steps of runBootstrap before and after it finds its attached data.
  // Every library now, the windows' too, so that each load fails in turn.
  restrictLibraryLoads();
  loadSystemLibraries(&realCalls, true);
  setupConsole();
  resetRunEnvironment();
  startUpCalls = callsMade;
  uint32_t status = runAttachedApplication(__wargv);
  bool faultWanted = failingCall != 0 || failingClosingCall != 0 || failingRest;
  if (countingOnly || (faultWanted && !faultTaken))
    writeNote("calls: " + std::to_string(callsMade) + ", " + std::to_string(startUpCalls) + " at start-up, " +
              std::to_string(closingCallsMade) + " on closing threads\n");
  return (int)status;
}
