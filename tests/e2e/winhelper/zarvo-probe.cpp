// zarvo-probe: inspects and drives other processes' windows for the
// end-to-end tests under Wine (tests/e2e/harness.py), one JSON object a line
// in UTF-8; exit code 0 when it did what was asked (see Run), 2 otherwise.
#include <windows.h>

#include <fcntl.h>
#include <io.h>

#include <cstdio>
#include <cstring>
#include <cwchar>
#include <string>

namespace {

// The reader takes control characters other than line ends as they are.
std::string Str(const std::wstring& w) {
  std::string s(w.size() * 3, '\0');  // at most 3 bytes a UTF-16 unit
  s.resize(WideCharToMultiByte(CP_UTF8, 0, w.c_str(), static_cast<int>(w.size()), &s[0],
                               static_cast<int>(s.size()), nullptr, nullptr));
  std::string out = "\"";
  for (char c : s) {
    if (c && strchr("\"\\\n\r", c)) out += '\\';
    out += c == '\n' ? 'n' : c == '\r' ? 'r' : c;
  }
  return out + '"';
}

unsigned long Num(const void* p) {
  return static_cast<unsigned long>(reinterpret_cast<ULONG_PTR>(p));
}

void PrintRect(const char* name, RECT r, HWND from, HWND to) {
  MapWindowPoints(from, to, reinterpret_cast<POINT*>(&r), 2);
  printf(R"(,"%s":[%ld,%ld,%ld,%ld])", name, r.left, r.top, r.right, r.bottom);
}

// A top-level window's title is read without sending it a message, which
// a hung window would not answer; a 'c'hild's live text with a time limit.
BOOL CALLBACK Print(HWND h, LPARAM kind) {
  DWORD pid = 0;
  GetWindowThreadProcessId(h, &pid);
  wchar_t name[256] = {}, text[1024] = {};
  GetClassNameW(h, name, 256);
  if (kind == 'c')
    SendMessageTimeoutW(h, WM_GETTEXT, 1024, reinterpret_cast<LPARAM>(text), SMTO_ABORTIFHUNG, 500,
                        nullptr);
  else
    InternalGetWindowText(h, text, 1024);
  const unsigned long style = GetWindowLongW(h, GWL_STYLE),
                      exstyle = GetWindowLongW(h, GWL_EXSTYLE);
  printf(R"({"hwnd":%lu,"pid":%lu,"class":%s,"visible":%d,"enabled":%d,"topmost":%d,)"
         R"("foreground":%d,"style":%lu,"exstyle":%lu,"owner":%lu,"xwin":%lu,"%s":%s)",
         Num(h), pid, Str(name).c_str(), IsWindowVisible(h) ? 1 : 0, IsWindowEnabled(h) ? 1 : 0,
         (exstyle & WS_EX_TOPMOST) ? 1 : 0, GetForegroundWindow() == h ? 1 : 0, style, exstyle,
         Num(GetWindow(h, GW_OWNER)), Num(GetPropW(h, L"__wine_x11_whole_window")),
         kind == 'c' ? "text" : "title", Str(text).c_str());
  RECT window = {}, client = {};
  GetWindowRect(h, &window);
  GetClientRect(h, &client);
  PrintRect("rect", window, nullptr, nullptr);
  PrintRect("client", client, h, HWND_DESKTOP);
  printf("}\n");
  return TRUE;
}

// An access violation in a new thread, which none of the process's code catches.
bool Fault(HWND h) {
  DWORD pid = 0;
  GetWindowThreadProcessId(h, &pid);
  const HANDLE process = OpenProcess(PROCESS_ALL_ACCESS, FALSE, pid);
  if (!process) return false;
  const HANDLE thread = CreateRemoteThread(
      process, nullptr, 0, reinterpret_cast<LPTHREAD_START_ROUTINE>(0x10), nullptr, 0, nullptr);
  CloseHandle(process);
  return thread && CloseHandle(thread);
}

// A stand-in task bar until `until` exists, hung while `until`.hang does;
// a decoy of its class, made later, is in front of it.
bool Tray(const wchar_t* until, const wchar_t* decoy) {
  const HINSTANCE instance = GetModuleHandleW(nullptr);
  const HBRUSH brush = CreateSolidBrush(RGB(32, 48, 96));
  const WNDCLASSW wc = {0,       DefWindowProcW, 0,     0,       instance,
                        nullptr, nullptr,        brush, nullptr, L"Shell_TrayWnd"};
  if (!RegisterClassW(&wc)) return false;
  const int width = GetSystemMetrics(SM_CXSCREEN), height = GetSystemMetrics(SM_CYSCREEN);
  auto make = [&](const wchar_t* title, int top) {
    const HWND h =
        CreateWindowExW(WS_EX_TOOLWINDOW | WS_EX_TOPMOST, L"Shell_TrayWnd", title, WS_POPUP, 0, top,
                        width, 40, nullptr, nullptr, instance, nullptr);
    if (h) ShowWindow(h, SW_SHOWNOACTIVATE);
    return h;
  };
  const HWND tray = make(L"", height - 40);
  if (!tray || (decoy && !make(decoy, 0))) return false;
  printf("{\"hwnd\":%lu}\n", Num(tray));
  fflush(stdout);
  const std::wstring hang = std::wstring(until) + L".hang";
  auto exists = [](const wchar_t* path) {
    return GetFileAttributesW(path) != INVALID_FILE_ATTRIBUTES;
  };
  bool hung = false;
  while (!exists(until)) {
    if (exists(hang.c_str()) != hung) {
      hung = !hung;
      printf("{\"hung\":%d}\n", hung ? 1 : 0);
      fflush(stdout);
    }
    if (hung) {
      Sleep(20);
      continue;
    }
    MSG message;
    while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) DispatchMessageW(&message);
    MsgWaitForMultipleObjects(0, nullptr, FALSE, 100, QS_ALLINPUT);
  }
  return true;
}

// The file open without sharing, as a virus scanner may keep it, until `until` exists.
bool Hold(const wchar_t* file, const wchar_t* until) {
  const HANDLE held =
      CreateFileW(file, GENERIC_READ, 0, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (held == INVALID_HANDLE_VALUE) return false;
  printf("{\"held\":1}\n");
  fflush(stdout);
  while (GetFileAttributesW(until) == INVALID_FILE_ATTRIBUTES) Sleep(50);
  return CloseHandle(held);
}

bool Run(const std::wstring& command, int n, wchar_t** a) {
  if (command == L"windows") return EnumWindows(Print, 'w');
  if (command == L"focus") {
    GUITHREADINFO gui = {};
    gui.cbSize = sizeof gui;
    return GetGUIThreadInfo(0, &gui) && printf("{\"focus\":%lu}\n", Num(gui.hwndFocus));
  }
  if (n < 1) return false;
  const HWND h = reinterpret_cast<HWND>(static_cast<ULONG_PTR>(wcstoul(a[0], nullptr, 0)));
  auto arg = [&](int i) { return n > i ? wcstol(a[i], nullptr, 0) : 0; };
  if (command == L"post")
    return n > 1 && PostMessageW(h, static_cast<UINT>(arg(1)), static_cast<WPARAM>(arg(2)),
                                 static_cast<LPARAM>(arg(3)));
  if (command == L"children") return IsWindow(h) && (EnumChildWindows(h, Print, 'c') || true);
  if (command == L"quit") {
    const DWORD thread = GetWindowThreadProcessId(h, nullptr);
    return thread && PostThreadMessageW(thread, WM_QUIT, 0, 0);
  }
  if (command == L"fault") return Fault(h);
  if (command == L"tray") return Tray(a[0], n > 1 ? a[1] : nullptr);
  if (command == L"hold") return n > 1 && Hold(a[0], a[1]);
  return false;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  _setmode(_fileno(stdout), _O_BINARY);
  SetProcessDPIAware();
  return argc > 1 && Run(argv[1], argc - 2, argv + 2) ? 0 : 2;
}
