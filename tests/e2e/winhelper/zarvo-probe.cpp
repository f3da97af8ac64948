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
//   tray FILE [DECOY]                a stand-in task bar until FILE exists
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

void PrintRect(const char* name, RECT r, HWND from, HWND to) {
  MapWindowPoints(from, to, reinterpret_cast<POINT*>(&r), 2);
  printf("\t%s=%ld,%ld,%ld,%ld", name, r.left, r.top, r.right, r.bottom);
}

// One window a line: a top-level one ('a'll or 'v'isible ones) with its
// title, read without sending it a message, or a 'c'hild with its live text,
// by WM_GETTEXT with a time limit, and its place in its parent. xwin is
// Wine's X11 window of the window.
BOOL CALLBACK Print(HWND h, LPARAM kind) {
  if (kind == 'v' && !IsWindowVisible(h)) return TRUE;
  DWORD pid = 0;
  GetWindowThreadProcessId(h, &pid);
  wchar_t name[256] = {}, text[1024] = {};
  GetClassNameW(h, name, 256);
  DWORD_PTR got = 0;
  if (kind == 'c')
    SendMessageTimeoutW(h, WM_GETTEXT, 1024, reinterpret_cast<LPARAM>(text), SMTO_ABORTIFHUNG, 500,
                        &got);
  else
    InternalGetWindowText(h, text, 1024);
  const unsigned long style = GetWindowLongW(h, GWL_STYLE),
                      exstyle = GetWindowLongW(h, GWL_EXSTYLE);
  printf(
      "%s\thwnd=0x%lx\tpid=%lu\tclass=%s\tvisible=%d\tenabled=%d\ttopmost=%d\tforeground=%d"
      "\tstyle=0x%08lx\texstyle=0x%08lx\towner=0x%lx\txwin=0x%lx\t%s=%s",
      kind == 'c' ? "child" : "window", Hex(h), pid, Esc(name).c_str(), IsWindowVisible(h) ? 1 : 0,
      IsWindowEnabled(h) ? 1 : 0, (exstyle & WS_EX_TOPMOST) ? 1 : 0,
      GetForegroundWindow() == h ? 1 : 0, style, exstyle, Hex(GetWindow(h, GW_OWNER)),
      Hex(GetPropW(h, L"__wine_x11_whole_window")), kind == 'c' ? "text" : "title",
      Esc(text).c_str());
  RECT window = {}, client = {};
  GetWindowRect(h, &window);
  GetClientRect(h, &client);
  PrintRect("rect", window, nullptr, nullptr);
  PrintRect("client", client, h, HWND_DESKTOP);
  PrintRect("rel", window, HWND_DESKTOP, GetAncestor(h, GA_PARENT));
  printf("\n");
  return TRUE;
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
  g_until = argv[0];
  const wchar_t* decoy = argc > 1 ? argv[1] : nullptr;
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
  fflush(stdout);
  MSG message;
  while (GetMessageW(&message, nullptr, 0, 0) > 0) DispatchMessageW(&message);
  return 0;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  _setmode(_fileno(stdout), _O_BINARY);
  SetProcessDPIAware();
  if (argc < 2) return 2;
  const std::wstring command = argv[1];
  const int n = argc - 2;
  wchar_t** a = argv + 2;
  if (command == L"windows") {
    EnumWindows(Print, n > 0 && !wcscmp(a[0], L"--all") ? 'a' : 'v');
    return 0;
  }
  if (command == L"post") return Post(n, a);
  if (command == L"focus") return Focus();
  if (n < 1) return 2;
  if (command == L"children") {
    if (!IsWindow(ParseHwnd(a[0]))) return 2;
    EnumChildWindows(ParseHwnd(a[0]), Print, 'c');
    return 0;
  }
  if (command == L"quit") return Quit(ParseHwnd(a[0]));
  if (command == L"fault") return Fault(ParseHwnd(a[0]));
  if (command == L"tray") return Tray(n, a);
  return 2;
}
