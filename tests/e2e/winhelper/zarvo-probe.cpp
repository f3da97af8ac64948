// zarvo-probe: a Win32 console helper for the end-to-end tests under Wine.
// It inspects and drives the windows of other processes and prints one
// record a line: a kind, then tab-separated key=value fields (UTF-8, with
// backslash, tab, CR and LF escaped), which tests/e2e/harness.py parses.
// Exit code 0 when it did what was asked, 2 otherwise.
//
//   windows [--all]                  visible (or all) top-level windows
//   children HWND                    descendants of HWND
//   focus                            the window with the keyboard focus
//   post HWND MSG [WPARAM [LPARAM]]  post any message
//   quit HWND                        WM_QUIT to the window's thread
//   fault HWND                       a faulting thread in the window's process
//   tray [--decoy TITLE] --until FILE
//                                    a stand-in task bar until FILE exists
#include <windows.h>

#include <fcntl.h>
#include <io.h>

#include <cstdio>
#include <cstring>
#include <cwchar>
#include <string>
#include <vector>

namespace {

std::string Utf8(const std::wstring& w) {
  if (w.empty()) return {};
  const int n = WideCharToMultiByte(CP_UTF8, 0, w.data(), static_cast<int>(w.size()), nullptr, 0,
                                    nullptr, nullptr);
  std::string s(static_cast<size_t>(n), '\0');
  WideCharToMultiByte(CP_UTF8, 0, w.data(), static_cast<int>(w.size()), &s[0], n, nullptr, nullptr);
  return s;
}

std::string Esc(const std::wstring& w) {
  static const char kSpecial[] = "\\\t\n\r", kEscape[] = "\\tnr";
  std::string out;
  for (char c : Utf8(w)) {
    const char* special = c ? strchr(kSpecial, c) : nullptr;
    if (special) out += '\\';
    out += special ? kEscape[special - kSpecial] : c;
  }
  return out;
}

unsigned long Hex(const void* p) {
  return static_cast<unsigned long>(reinterpret_cast<ULONG_PTR>(p));
}

HWND ParseHwnd(const wchar_t* s) {
  return reinterpret_cast<HWND>(static_cast<ULONG_PTR>(wcstoul(s, nullptr, 0)));
}

long ParseLong(const wchar_t* s) { return wcstol(s, nullptr, 0); }

std::wstring ClassName(HWND h) {
  wchar_t buffer[256] = {};
  GetClassNameW(h, buffer, 256);
  return buffer;
}

// A top-level window's title without sending it a message.
std::wstring Title(HWND h) {
  wchar_t buffer[1024] = {};
  InternalGetWindowText(h, buffer, 1024);
  return buffer;
}

// A control's live text, by WM_GETTEXT with a time limit.
std::wstring ControlText(HWND h) {
  wchar_t buffer[1024] = {};
  DWORD_PTR got = 0;
  SendMessageTimeoutW(h, WM_GETTEXT, 1024, reinterpret_cast<LPARAM>(buffer), SMTO_ABORTIFHUNG, 500,
                      &got);
  return buffer;
}

void PrintRect(const char* name, const RECT& r) {
  printf("\t%s=%ld,%ld,%ld,%ld", name, r.left, r.top, r.right, r.bottom);
}

void PrintCommon(const char* kind, HWND h) {
  DWORD pid = 0;
  GetWindowThreadProcessId(h, &pid);
  RECT window = {}, client = {};
  GetWindowRect(h, &window);
  GetClientRect(h, &client);
  MapWindowPoints(h, HWND_DESKTOP, reinterpret_cast<POINT*>(&client), 2);
  const LONG exstyle = GetWindowLongW(h, GWL_EXSTYLE);
  printf("%s\thwnd=0x%lx\tpid=%lu\tclass=%s\tvisible=%d\tenabled=%d\ttopmost=%d", kind, Hex(h), pid,
         Esc(ClassName(h)).c_str(), IsWindowVisible(h) ? 1 : 0, IsWindowEnabled(h) ? 1 : 0,
         (exstyle & WS_EX_TOPMOST) ? 1 : 0);
  PrintRect("rect", window);
  PrintRect("client", client);
  // xwin: Wine's X11 window of this window.
  printf("\tstyle=0x%08lx\texstyle=0x%08lx\towner=0x%lx\txwin=0x%lx",
         static_cast<unsigned long>(GetWindowLongW(h, GWL_STYLE)),
         static_cast<unsigned long>(exstyle), Hex(GetWindow(h, GW_OWNER)),
         Hex(GetPropW(h, L"__wine_x11_whole_window")));
}

void PrintTop(HWND h) {
  PrintCommon("window", h);
  printf("\ttitle=%s\tforeground=%d\n", Esc(Title(h)).c_str(), GetForegroundWindow() == h ? 1 : 0);
}

void PrintChild(HWND h) {
  PrintCommon("child", h);
  RECT relative = {};
  GetWindowRect(h, &relative);
  MapWindowPoints(HWND_DESKTOP, GetAncestor(h, GA_PARENT), reinterpret_cast<POINT*>(&relative), 2);
  PrintRect("rel", relative);
  printf("\ttext=%s\n", Esc(ControlText(h)).c_str());
}

BOOL CALLBACK PrintTopIf(HWND h, LPARAM all) {
  if (all || IsWindowVisible(h)) PrintTop(h);
  return TRUE;
}

BOOL CALLBACK PrintChildOf(HWND h, LPARAM) {
  PrintChild(h);
  return TRUE;
}

int Windows(int argc, wchar_t** argv) {
  EnumWindows(PrintTopIf, argc > 0 && wcscmp(argv[0], L"--all") == 0);
  return 0;
}

int Children(HWND h) {
  if (!IsWindow(h)) return 2;
  EnumChildWindows(h, PrintChildOf, 0);
  return 0;
}

int Focus() {
  GUITHREADINFO gui = {};
  gui.cbSize = sizeof gui;
  if (!GetGUIThreadInfo(0, &gui)) return 2;
  printf("gui\tfocus=0x%lx\n", Hex(gui.hwndFocus));
  return 0;
}

int Post(int argc, wchar_t** argv) {
  if (argc < 2) return 2;
  const WPARAM wparam = argc > 2 ? static_cast<WPARAM>(ParseLong(argv[2])) : 0;
  const LPARAM lparam = argc > 3 ? static_cast<LPARAM>(ParseLong(argv[3])) : 0;
  return PostMessageW(ParseHwnd(argv[0]), static_cast<UINT>(ParseLong(argv[1])), wparam, lparam)
             ? 0
             : 2;
}

// WM_QUIT to the thread that owns the window, as any program may send it.
int Quit(HWND h) {
  const DWORD thread = GetWindowThreadProcessId(h, nullptr);
  return thread && PostThreadMessageW(thread, WM_QUIT, 0, 0) ? 0 : 2;
}

// A new thread in the window's process that starts at an address holding
// no code: an access violation that none of that process's code catches.
int Fault(HWND h) {
  DWORD pid = 0;
  GetWindowThreadProcessId(h, &pid);
  const HANDLE process = OpenProcess(PROCESS_ALL_ACCESS, FALSE, pid);
  if (!process) return 2;
  const HANDLE thread = CreateRemoteThread(
      process, nullptr, 0, reinterpret_cast<LPTHREAD_START_ROUTINE>(0x10), nullptr, 0, nullptr);
  CloseHandle(process);
  if (!thread) return 2;
  CloseHandle(thread);
  return 0;
}

const wchar_t* g_until = L"";

LRESULT CALLBACK TrayProc(HWND h, UINT message, WPARAM wparam, LPARAM lparam) {
  if (message == WM_TIMER && GetFileAttributesW(g_until) != INVALID_FILE_ATTRIBUTES)
    PostQuitMessage(0);
  return DefWindowProcW(h, message, wparam, lparam);
}

// Shell_TrayWnd with an empty title, top-most along the bottom of the
// screen, shown without taking the foreground; with a decoy, also one of
// its class with that title, made later and so in front of it.
int Tray(int argc, wchar_t** argv) {
  const wchar_t* decoy = nullptr;
  for (int i = 0; i + 1 < argc; i += 2) {
    if (!wcscmp(argv[i], L"--decoy")) decoy = argv[i + 1];
    if (!wcscmp(argv[i], L"--until")) g_until = argv[i + 1];
  }
  WNDCLASSEXW wc = {};
  wc.cbSize = sizeof wc;
  wc.lpfnWndProc = TrayProc;
  wc.hInstance = GetModuleHandleW(nullptr);
  wc.hbrBackground = CreateSolidBrush(RGB(32, 48, 96));
  wc.lpszClassName = L"Shell_TrayWnd";
  if (!RegisterClassExW(&wc)) return 2;
  const int width = GetSystemMetrics(SM_CXSCREEN), height = GetSystemMetrics(SM_CYSCREEN);
  auto make = [&](const wchar_t* title, int top) {
    const HWND h =
        CreateWindowExW(WS_EX_TOOLWINDOW | WS_EX_TOPMOST, L"Shell_TrayWnd", title, WS_POPUP, 0, top,
                        width, 40, nullptr, nullptr, wc.hInstance, nullptr);
    if (h) ShowWindow(h, SW_SHOWNOACTIVATE);
    return h;
  };
  const HWND tray = make(L"", height - 40);
  if (!tray || (decoy && !make(decoy, 0))) return 2;
  SetTimer(tray, 1, 100, nullptr);
  printf("tray\thwnd=0x%lx\n", Hex(tray));
  MSG message;
  while (GetMessageW(&message, nullptr, 0, 0) > 0) DispatchMessageW(&message);
  return 0;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  _setmode(_fileno(stdout), _O_BINARY);
  setvbuf(stdout, nullptr, _IONBF, 0);
  SetProcessDPIAware();
  if (argc < 2) return 2;
  const std::wstring command = argv[1];
  const int n = argc - 2;
  wchar_t** a = argv + 2;
  if (command == L"windows") return Windows(n, a);
  if (command == L"post") return Post(n, a);
  if (command == L"tray") return Tray(n, a);
  if (command == L"focus") return Focus();
  if (n < 1) return 2;
  if (command == L"children") return Children(ParseHwnd(a[0]));
  if (command == L"quit") return Quit(ParseHwnd(a[0]));
  if (command == L"fault") return Fault(ParseHwnd(a[0]));
  return 2;
}
