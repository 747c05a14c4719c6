#include "bootstrap/progress-window.h"

#include <windows.h>
#include <commctrl.h>
#include <stdlib.h>

#include "bootstrap/child.h"
#include "bootstrap/progress-window-seams.h"
#include "diag/report-window.h"
#include "diag/report.h"
#include "diag/system-calls.h"
#include "diag/text.h"
#include "payload/file-content.h"
#include "payload/reader.h"
#include "resources/embedded.h"

namespace {

constexpr wchar_t WINDOW_CLASS[] = L"OnefileProgress";
constexpr wchar_t PROGRESS_BAR_CLASS[] = L"msctls_progress32";
constexpr unsigned PROGRESS_SCALE = 1000;
constexpr WORD ICON_GROUP_ID = 1;  // the executable's icon group, as the packer writes it
constexpr int CLIENT_WIDTH = 420, MARGIN = 16, LINE_HEIGHT = 20, BAR_HEIGHT = 18;
constexpr int BAR_TOP = MARGIN + LINE_HEIGHT + MARGIN / 2;
constexpr int CLIENT_HEIGHT = BAR_TOP + BAR_HEIGHT + MARGIN;
constexpr DWORD WINDOW_STYLE = WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX;
enum : unsigned { LINE_CAPACITY = 2 * PATH_CAPACITY };

// The unpacking posts the bar's position this often, and the window's thread
// moves the bar as often: a user sees no difference, and nothing is done at
// every piece.
constexpr ULONGLONG SERVICE_INTERVAL_MS = 50;
constexpr UINT_PTR SERVICE_TIMER = 1;
// Posted by the unpacking: the window is to go.
constexpr UINT END_MESSAGE = WM_APP;
// How long the end of the window's thread is waited for: a thread that the
// system keeps longer, for whatever reason, does not hold the start up.
constexpr DWORD WINDOW_END_WAIT_MS = 5000;

// The unpacking's side, on the run's thread.
ULONGLONG firstPieceTick;  // 0 until the first piece was written
ULONGLONG nextPostTick;
HANDLE windowThread;

// Shared by the two threads, each written by one side only.
volatile LONG postedProgress;  // by the unpacking: the bar's position
volatile LONG closeAsked;      // by the window: the user closed it
volatile LONG endWanted;       // by the unpacking: the window is to go
HWND volatile window;          // by the window's thread, once the window is made

// The window's thread's own.
HWND progressBar;
unsigned shownProgress;
wchar_t line[LINE_CAPACITY];

void showProgress(void) {
  unsigned progress = (unsigned)postedProgress;
  if (progressBar == nullptr || progress == shownProgress) return;
  shownProgress = progress;
  systemCalls.sendMessage(progressBar, PBM_SETPOS, progress, 0);
}

// The window is served on a thread of its own: the system's modal loops (a
// drag of its title bar, its system menu) run inside this thread and stop
// nothing else, and the window answers the system however long the
// unpacking takes between two pieces. Timer messages reach the window inside
// those loops too, so it goes when asked even then.
LRESULT CALLBACK handleMessage(HWND handle, UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_CLOSE:
      InterlockedExchange(&closeAsked, 1);
      return 0;
    case WM_TIMER:
      showProgress();
      if (endWanted != 0) systemCalls.destroyWindow(handle);
      return 0;
    case END_MESSAGE:
      systemCalls.destroyWindow(handle);
      return 0;
    case WM_DESTROY:
      systemCalls.postQuitMessage(0);
      return 0;
    default:
      return systemCalls.defWindowProc(handle, message, wParam, lParam);
  }
}

// "Preparing <name> <version> for its first start"
void composeLine(void) {
  line[0] = L'\0';
  appendWideBounded(line, LINE_CAPACITY, L"Preparing ");
  appendWideBounded(line, LINE_CAPACITY, onefileApplicationName);
  appendWideBounded(line, LINE_CAPACITY, L" ");
  appendWideBounded(line, LINE_CAPACITY, onefileVersionText);
  appendWideBounded(line, LINE_CAPACITY, L" for its first start");
}

// The system's message font, so that the line looks as the system's own
// dialogs do; without it the control keeps its default.
void useMessageFont(HWND control) {
  NONCLIENTMETRICSW metrics = {};
  metrics.cbSize = sizeof metrics;
  if (!systemCalls.systemParametersInfo(SPI_GETNONCLIENTMETRICS, sizeof metrics, &metrics, 0)) return;
  HFONT font = systemCalls.createFontIndirect(&metrics.lfMessageFont);
  if (font != nullptr) systemCalls.sendMessage(control, WM_SETFONT, (WPARAM)font, FALSE);
}

// The progress bar is the common controls' own, of the version that the
// executable's manifest names.
bool loadProgressBar(void) {
  INITCOMMONCONTROLSEX wanted = {sizeof wanted, ICC_PROGRESS_CLASS};
  return systemCalls.initCommonControlsEx(&wanted);
}

bool registerWindowClass(HINSTANCE instance) {
  WNDCLASSEXW windowClass = {};
  windowClass.cbSize = sizeof windowClass;
  windowClass.lpfnWndProc = handleMessage;
  windowClass.hInstance = instance;
  windowClass.hIcon =
      (HICON)systemCalls.loadImage(instance, MAKEINTRESOURCEW(ICON_GROUP_ID), IMAGE_ICON, 0, 0, LR_DEFAULTSIZE);
  windowClass.hIconSm = (HICON)systemCalls.loadImage(instance, MAKEINTRESOURCEW(ICON_GROUP_ID), IMAGE_ICON,
                                                     systemCalls.getSystemMetrics(SM_CXSMICON),
                                                     systemCalls.getSystemMetrics(SM_CYSMICON), 0);
  windowClass.hCursor = systemCalls.loadCursor(nullptr, (LPCWSTR)IDC_APPSTARTING);
  windowClass.hbrBackground = (HBRUSH)(COLOR_BTNFACE + 1);
  windowClass.lpszClassName = WINDOW_CLASS;
  return systemCalls.registerClassEx(&windowClass) != 0;
}

// Small and centred on the work area of the primary display.
HWND createCentredWindow(HINSTANCE instance) {
  RECT frame = {0, 0, CLIENT_WIDTH, CLIENT_HEIGHT};
  systemCalls.adjustWindowRectEx(&frame, WINDOW_STYLE, FALSE, 0);
  int width = frame.right - frame.left, height = frame.bottom - frame.top;
  RECT work = {0, 0, systemCalls.getSystemMetrics(SM_CXSCREEN), systemCalls.getSystemMetrics(SM_CYSCREEN)};
  systemCalls.systemParametersInfo(SPI_GETWORKAREA, 0, &work, 0);  // a refusal keeps the whole screen
  int left = work.left + (work.right - work.left - width) / 2;
  int top = work.top + (work.bottom - work.top - height) / 2;
  return systemCalls.createWindowEx(0, WINDOW_CLASS, onefileApplicationName, WINDOW_STYLE, left, top, width, height,
                                    nullptr, nullptr, instance, nullptr);
}

void addControls(HWND made, HINSTANCE instance) {
  composeLine();
  HWND text =
      systemCalls.createWindowEx(0, L"STATIC", line, WS_CHILD | WS_VISIBLE | SS_LEFT | SS_ENDELLIPSIS, MARGIN, MARGIN,
                                 CLIENT_WIDTH - 2 * MARGIN, LINE_HEIGHT, made, nullptr, instance, nullptr);
  if (text != nullptr) useMessageFont(text);
  if (!loadProgressBar()) return;
  progressBar = systemCalls.createWindowEx(0, PROGRESS_BAR_CLASS, nullptr, WS_CHILD | WS_VISIBLE, MARGIN, BAR_TOP,
                                           CLIENT_WIDTH - 2 * MARGIN, BAR_HEIGHT, made, nullptr, instance, nullptr);
  if (progressBar != nullptr) systemCalls.sendMessage(progressBar, PBM_SETRANGE32, 0, PROGRESS_SCALE);
}

// A window that cannot be made is no failure: the start goes on without it.
HWND openWindow(void) {
  HINSTANCE instance = GetModuleHandleW(nullptr);
  if (!registerWindowClass(instance)) return nullptr;
  HWND made = createCentredWindow(instance);
  if (made == nullptr) return nullptr;
  addControls(made, instance);
  showProgress();
  systemCalls.setTimer(made, SERVICE_TIMER, SERVICE_INTERVAL_MS,
                       nullptr);  // without it the bar stands, END_MESSAGE still ends it
  systemCalls.showWindow(made, SW_SHOWNORMAL);
  systemCalls.updateWindow(made);
  return made;
}

DWORD WINAPI serveWindow(void*) {
  HWND made = openWindow();
  if (made == nullptr) return 0;
  InterlockedExchangePointer((void* volatile*)&window, made);
  // The unpacking may have asked for the end before the window was published,
  // and then found no window to post to; without a timer nothing else would
  // see the request. Each side writes its flag before it reads the other's,
  // so at least one of them sees the other's.
  if (endWanted != 0) systemCalls.destroyWindow(made);
  MSG message;
  while (systemCalls.getMessage(&message, nullptr, 0, 0) > 0) {
    systemCalls.translateMessage(&message);
    systemCalls.dispatchMessage(&message);
  }
  return 0;
}

// The program is to have the foreground that the window has: the system lets
// a process take it only when the one that has it allows it, and only while
// that one's window is still there.
void closeBeforeTheProgramRuns(DWORD processId) {
  if (window != nullptr)
    systemCalls.allowSetForegroundWindow(processId);  // a refusal leaves the foreground to the system
  closeProgressWindow();
}

bool startWindowThread(void) {
  windowThread = systemCalls.createThread(nullptr, 0, serveWindow, nullptr, 0, nullptr);
  if (windowThread == nullptr) {
    betweenContentPieces = nullptr;  // not again
    return false;
  }
  beforeReport = closeProgressWindow;
  beforeChildRuns = closeBeforeTheProgramRuns;
  return true;
}

// Between two pieces of content, once the run has begun to write, and
// between the pauses of a wait: once the start has been writing for a
// while, posts the position (first to a window about to be made), and stops
// the start when the user closed the window.
void betweenPieces(void) {
  ULONGLONG now = GetTickCount64();
  if (firstPieceTick == 0) firstPieceTick = now;
  if (now - firstPieceTick < progressWindowDelayMs || now < nextPostTick) return;
  nextPostTick = now + SERVICE_INTERVAL_MS;
  InterlockedExchange(&postedProgress, (LONG)payloadProgress(PROGRESS_SCALE));
  if (windowThread == nullptr && !startWindowThread()) return;
  if (closeAsked == 0) return;
  // The user chose to stop: the file being written stays as it is, and the
  // next start completes it as after any interrupted start.
  closeProgressWindow();
  exit(EXIT_STATUS_REPORTED);
}

}  // namespace

unsigned progressWindowDelayMs = PROGRESS_WINDOW_DELAY_MS;

void watchUnpacking(void) { betweenContentPieces = betweenPieces; }

void closeProgressWindow(void) {
  betweenContentPieces = nullptr;
  if (beforeReport == closeProgressWindow) beforeReport = nullptr;
  if (windowThread == nullptr) return;
  InterlockedExchange(&endWanted, 1);
  HWND shown = window;
  if (shown != nullptr) systemCalls.postMessage(shown, END_MESSAGE, 0, 0);
  WaitForSingleObject(windowThread, WINDOW_END_WAIT_MS);
  CloseHandle(windowThread);
  windowThread = nullptr;
}
