#include "bootstrap/progress-window.h"

#include <windows.h>
#include <commctrl.h>
#include <stdlib.h>

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

// Messages are handled and the bar moved this often, not at every piece:
// under a window system each look at the message queue costs more than
// writing a piece, and a user sees no difference.
constexpr ULONGLONG SERVICE_INTERVAL_MS = 50;

ULONGLONG firstPieceTick;  // 0 until the first piece was written
ULONGLONG nextServiceTick;
HWND window;
HWND progressBar;
unsigned shownProgress;
bool closeAsked;
wchar_t line[LINE_CAPACITY];

LRESULT CALLBACK handleMessage(HWND handle, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_CLOSE) {
    closeAsked = true;
    return 0;
  }
  return systemCalls.defWindowProc(handle, message, wParam, lParam);
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

void addControls(HINSTANCE instance) {
  composeLine();
  HWND text =
      systemCalls.createWindowEx(0, L"STATIC", line, WS_CHILD | WS_VISIBLE | SS_LEFT | SS_ENDELLIPSIS, MARGIN, MARGIN,
                                 CLIENT_WIDTH - 2 * MARGIN, LINE_HEIGHT, window, nullptr, instance, nullptr);
  if (text != nullptr) useMessageFont(text);
  if (!loadProgressBar()) return;
  progressBar = systemCalls.createWindowEx(0, PROGRESS_BAR_CLASS, nullptr, WS_CHILD | WS_VISIBLE, MARGIN, BAR_TOP,
                                           CLIENT_WIDTH - 2 * MARGIN, BAR_HEIGHT, window, nullptr, instance, nullptr);
  if (progressBar != nullptr) systemCalls.sendMessage(progressBar, PBM_SETRANGE32, 0, PROGRESS_SCALE);
}

// A window that cannot be made is no failure: the start goes on without it.
void openWindow(void) {
  HINSTANCE instance = GetModuleHandleW(nullptr);
  if (!registerWindowClass(instance)) return;
  window = createCentredWindow(instance);
  if (window == nullptr) return;
  addControls(instance);
  beforeReport = closeProgressWindow;
  systemCalls.showWindow(window, SW_SHOWNORMAL);
  systemCalls.updateWindow(window);
}

void handlePendingMessages(void) {
  MSG message;
  while (systemCalls.peekMessage(&message, nullptr, 0, 0, PM_REMOVE)) {
    systemCalls.translateMessage(&message);
    systemCalls.dispatchMessage(&message);
  }
}

void showProgress(void) {
  unsigned progress = payloadProgress(PROGRESS_SCALE);
  if (progressBar == nullptr || progress == shownProgress) return;
  shownProgress = progress;
  systemCalls.sendMessage(progressBar, PBM_SETPOS, progress, 0);
}

// Between two pieces of content, once the run has begun to write.
void betweenPieces(void) {
  ULONGLONG now = GetTickCount64();
  if (firstPieceTick == 0) firstPieceTick = now;
  if (window == nullptr) {
    if (now - firstPieceTick < PROGRESS_WINDOW_DELAY_MS) return;
    betweenContentPieces = nullptr;  // not again, should the window not come
    openWindow();
    if (window == nullptr) return;
    betweenContentPieces = betweenPieces;
  }
  if (now < nextServiceTick) return;
  nextServiceTick = now + SERVICE_INTERVAL_MS;
  showProgress();
  handlePendingMessages();
  if (!closeAsked) return;
  // The user chose to stop: the file being written stays as it is, and the
  // next start completes it as after any interrupted start.
  closeProgressWindow();
  exit(EXIT_STATUS_REPORTED);
}

}  // namespace

void watchUnpacking(void) { betweenContentPieces = betweenPieces; }

void closeProgressWindow(void) {
  betweenContentPieces = nullptr;
  if (beforeReport == closeProgressWindow) beforeReport = nullptr;
  if (window == nullptr) return;
  systemCalls.destroyWindow(window);
  window = nullptr;
  progressBar = nullptr;
  handlePendingMessages();
}
