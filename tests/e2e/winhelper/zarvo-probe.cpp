// zarvo-probe: a small Win32 console helper for end-to-end tests under Wine.
//
// It inspects and drives windows of other processes and prints simple,
// line-based output (tab separated key=value fields, UTF-8, "\n" line ends)
// that tests/e2e/harness.py parses.  Uses kernel32, user32 and gdi32 only
// (advapi32 for registry-dump).
//
// Run "zarvo-probe help" for the list of subcommands.

#ifndef UNICODE
#define UNICODE
#endif
#ifndef _UNICODE
#define _UNICODE
#endif
#ifndef WINVER
#define WINVER 0x0601
#endif
#ifndef _WIN32_WINNT
#define _WIN32_WINNT 0x0601
#endif
#include <windows.h>

#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cwchar>
#include <fcntl.h>
#include <io.h>
#include <string>
#include <vector>

namespace {

// ---------------------------------------------------------------- output

std::string utf8(const std::wstring& w) {
  if (w.empty()) return std::string();
  int n = WideCharToMultiByte(CP_UTF8, 0, w.data(), (int)w.size(), nullptr, 0,
                              nullptr, nullptr);
  std::string s((size_t)n, '\0');
  WideCharToMultiByte(CP_UTF8, 0, w.data(), (int)w.size(), &s[0], n, nullptr,
                      nullptr);
  return s;
}

// Escape a field value: backslash, tab, CR, LF.
std::string esc(const std::wstring& w) {
  std::string in = utf8(w), out;
  for (char c : in) {
    switch (c) {
      case '\\': out += "\\\\"; break;
      case '\t': out += "\\t"; break;
      case '\n': out += "\\n"; break;
      case '\r': out += "\\r"; break;
      default: out += c;
    }
  }
  return out;
}

void out(const char* fmt, ...) {
  va_list ap;
  va_start(ap, fmt);
  vfprintf(stdout, fmt, ap);
  va_end(ap);
  fflush(stdout);
}

void err(const char* fmt, ...) {
  va_list ap;
  va_start(ap, fmt);
  vfprintf(stderr, fmt, ap);
  va_end(ap);
  fflush(stderr);
}

std::string hexptr(const void* p) {
  char buf[32];
  snprintf(buf, sizeof buf, "0x%lx", (unsigned long)(ULONG_PTR)p);
  return buf;
}

HWND parse_hwnd(const wchar_t* s) {
  return (HWND)(ULONG_PTR)wcstoul(s, nullptr, 0);
}

long parse_long(const wchar_t* s) { return wcstol(s, nullptr, 0); }

// "-" or "" means "any".
const wchar_t* opt_str(const wchar_t* s) {
  return (s == nullptr || s[0] == 0 || (s[0] == L'-' && s[1] == 0)) ? nullptr
                                                                     : s;
}

// ---------------------------------------------------------------- windows

std::wstring class_name(HWND h) {
  wchar_t buf[256] = {0};
  GetClassNameW(h, buf, 256);
  return buf;
}

// Title of a top-level window without sending a message (never blocks).
std::wstring window_title(HWND h) {
  wchar_t buf[1024] = {0};
  InternalGetWindowText(h, buf, 1024);
  return buf;
}

// Live text of a (child) control via WM_GETTEXT, with timeout.
std::wstring control_text(HWND h) {
  DWORD_PTR len = 0;
  if (!SendMessageTimeoutW(h, WM_GETTEXTLENGTH, 0, 0, SMTO_ABORTIFHUNG, 500,
                           &len))
    return window_title(h);
  std::vector<wchar_t> buf(len + 2, 0);
  DWORD_PTR got = 0;
  if (!SendMessageTimeoutW(h, WM_GETTEXT, (WPARAM)buf.size(),
                           (LPARAM)buf.data(), SMTO_ABORTIFHUNG, 500, &got))
    return window_title(h);
  return std::wstring(buf.data());
}

bool send_query(HWND h, UINT msg, WPARAM wp, LPARAM lp, DWORD_PTR* res) {
  return SendMessageTimeoutW(h, msg, wp, lp, SMTO_ABORTIFHUNG, 500, res) != 0;
}

std::string rect_str(const RECT& r) {
  char buf[96];
  snprintf(buf, sizeof buf, "%ld,%ld,%ld,%ld", r.left, r.top, r.right,
           r.bottom);
  return buf;
}

// Fields shared by top-level and child windows.
void print_common(const char* kind, HWND h) {
  DWORD pid = 0;
  DWORD tid = GetWindowThreadProcessId(h, &pid);
  RECT wr = {0, 0, 0, 0}, cr = {0, 0, 0, 0};
  GetWindowRect(h, &wr);
  GetClientRect(h, &cr);
  POINT tl = {cr.left, cr.top}, br = {cr.right, cr.bottom};
  ClientToScreen(h, &tl);
  ClientToScreen(h, &br);
  RECT crs = {tl.x, tl.y, br.x, br.y};
  LONG style = GetWindowLongW(h, GWL_STYLE);
  LONG exstyle = GetWindowLongW(h, GWL_EXSTYLE);
  out("%s\thwnd=%s\tpid=%lu\ttid=%lu\tclass=%s", kind, hexptr(h).c_str(),
      (unsigned long)pid, (unsigned long)tid, esc(class_name(h)).c_str());
  out("\tvisible=%d\tenabled=%d\ttopmost=%d\ticonic=%d\tzoomed=%d",
      IsWindowVisible(h) ? 1 : 0, IsWindowEnabled(h) ? 1 : 0,
      (exstyle & WS_EX_TOPMOST) ? 1 : 0, IsIconic(h) ? 1 : 0,
      IsZoomed(h) ? 1 : 0);
  out("\trect=%s\tclient=%s\tstyle=0x%08lx\texstyle=0x%08lx",
      rect_str(wr).c_str(), rect_str(crs).c_str(), (unsigned long)style,
      (unsigned long)exstyle);
  out("\towner=%s\tparent=%s", hexptr(GetWindow(h, GW_OWNER)).c_str(),
      hexptr(GetAncestor(h, GA_PARENT)).c_str());
  // Wine only: the X11 window id of this window (0 if none / not Wine).
  out("\txwin=%s",
      hexptr(GetPropW(h, L"__wine_x11_whole_window")).c_str());
}

struct TopEnum {
  bool all;
  DWORD pid;
};

BOOL CALLBACK top_cb(HWND h, LPARAM lp) {
  TopEnum* e = (TopEnum*)lp;
  if (!e->all && !IsWindowVisible(h)) return TRUE;
  DWORD pid = 0;
  GetWindowThreadProcessId(h, &pid);
  if (e->pid && pid != e->pid) return TRUE;
  print_common("window", h);
  out("\ttitle=%s\tforeground=%d\n", esc(window_title(h)).c_str(),
      GetForegroundWindow() == h ? 1 : 0);
  return TRUE;
}

void print_child(HWND h, HWND top) {
  HWND parent = GetAncestor(h, GA_PARENT);
  RECT wr = {0, 0, 0, 0};
  GetWindowRect(h, &wr);
  MapWindowPoints(HWND_DESKTOP, parent, (POINT*)&wr, 2);
  int depth = 0;
  for (HWND p = parent; p && p != top; p = GetAncestor(p, GA_PARENT)) ++depth;
  print_common("child", h);
  std::wstring cls = class_name(h);
  out("\tid=%ld\tdepth=%d\trel=%s\ttext=%s", (long)GetDlgCtrlID(h), depth,
      rect_str(wr).c_str(), esc(control_text(h)).c_str());
  DWORD_PTR r = 0;
  LONG style = GetWindowLongW(h, GWL_STYLE);
  if (_wcsicmp(cls.c_str(), L"Button") == 0) {
    LONG type = style & BS_TYPEMASK;
    if (type == BS_CHECKBOX || type == BS_AUTOCHECKBOX ||
        type == BS_3STATE || type == BS_AUTO3STATE || type == BS_RADIOBUTTON ||
        type == BS_AUTORADIOBUTTON) {
      if (send_query(h, BM_GETCHECK, 0, 0, &r)) out("\tcheck=%ld", (long)r);
    }
  } else if (_wcsicmp(cls.c_str(), L"ComboBox") == 0) {
    if (send_query(h, CB_GETCURSEL, 0, 0, &r)) out("\tcursel=%ld", (long)r);
    if (send_query(h, CB_GETCOUNT, 0, 0, &r)) out("\tcount=%ld", (long)r);
  } else if (_wcsicmp(cls.c_str(), L"ListBox") == 0) {
    if (send_query(h, LB_GETCURSEL, 0, 0, &r)) out("\tcursel=%ld", (long)r);
    if (send_query(h, LB_GETCOUNT, 0, 0, &r)) out("\tcount=%ld", (long)r);
  } else if (_wcsicmp(cls.c_str(), L"msctls_trackbar32") == 0) {
    // TBM_GETPOS, TBM_GETRANGEMIN, TBM_GETRANGEMAX
    if (send_query(h, WM_USER, 0, 0, &r)) out("\tpos=%ld", (long)r);
    if (send_query(h, WM_USER + 1, 0, 0, &r)) out("\tmin=%ld", (long)r);
    if (send_query(h, WM_USER + 2, 0, 0, &r)) out("\tmax=%ld", (long)r);
  } else if (_wcsicmp(cls.c_str(), L"msctls_updown32") == 0) {
    if (send_query(h, WM_USER + 104, 0, 0, &r))  // UDM_GETPOS
      out("\tpos=%ld", (long)(short)LOWORD(r));
  }
  out("\n");
}

struct ChildEnum {
  HWND top;
};

BOOL CALLBACK child_cb(HWND h, LPARAM lp) {
  print_child(h, ((ChildEnum*)lp)->top);
  return TRUE;
}

int cmd_windows(int argc, wchar_t** argv) {
  TopEnum e = {false, 0};
  HWND children_of = nullptr;
  for (int i = 0; i < argc; ++i) {
    if (!wcscmp(argv[i], L"--all")) e.all = true;
    else if (!wcscmp(argv[i], L"--pid") && i + 1 < argc)
      e.pid = (DWORD)parse_long(argv[++i]);
    else if (!wcscmp(argv[i], L"--children") && i + 1 < argc)
      children_of = parse_hwnd(argv[++i]);
    else {
      err("windows: unknown option\n");
      return 2;
    }
  }
  if (children_of) {
    if (!IsWindow(children_of)) {
      err("windows: no such window\n");
      return 1;
    }
    ChildEnum c = {children_of};
    EnumChildWindows(children_of, child_cb, (LPARAM)&c);
    out("end\n");
    return 0;
  }
  EnumWindows(top_cb, (LPARAM)&e);
  out("end\n");
  return 0;
}

int cmd_info(int argc, wchar_t** argv) {
  if (argc < 1) return 2;
  HWND h = parse_hwnd(argv[0]);
  if (!IsWindow(h)) {
    out("gone\thwnd=%s\n", hexptr(h).c_str());
    return 1;
  }
  if (GetAncestor(h, GA_PARENT) == GetDesktopWindow()) {
    print_common("window", h);
    out("\ttitle=%s\tforeground=%d\n", esc(window_title(h)).c_str(),
        GetForegroundWindow() == h ? 1 : 0);
  } else {
    print_child(h, GetAncestor(h, GA_ROOT));
  }
  return 0;
}

// Find a top-level window by class and/or title ("-" = any).  With
// visible_only, hidden windows are skipped.
struct FindEnum {
  const wchar_t* cls;
  const wchar_t* title;
  bool visible_only;
  DWORD pid;
  HWND found;
};

BOOL CALLBACK find_cb(HWND h, LPARAM lp) {
  FindEnum* f = (FindEnum*)lp;
  if (f->visible_only && !IsWindowVisible(h)) return TRUE;
  if (f->pid) {
    DWORD pid = 0;
    GetWindowThreadProcessId(h, &pid);
    if (pid != f->pid) return TRUE;
  }
  if (f->cls && _wcsicmp(class_name(h).c_str(), f->cls) != 0) return TRUE;
  if (f->title && window_title(h) != f->title) return TRUE;
  f->found = h;
  return FALSE;
}

HWND find_top(const wchar_t* cls, const wchar_t* title, bool visible_only,
              DWORD pid) {
  FindEnum f = {cls, title, visible_only, pid, nullptr};
  EnumWindows(find_cb, (LPARAM)&f);
  return f.found;
}

int cmd_wait_window(int argc, wchar_t** argv) {
  if (argc < 3) {
    err("usage: wait-window CLASS|- TITLE|- TIMEOUTMS [--visible] [--pid N]\n");
    return 2;
  }
  const wchar_t* cls = opt_str(argv[0]);
  const wchar_t* title = opt_str(argv[1]);
  long timeout = parse_long(argv[2]);
  bool visible = false;
  DWORD pid = 0;
  for (int i = 3; i < argc; ++i) {
    if (!wcscmp(argv[i], L"--visible")) visible = true;
    else if (!wcscmp(argv[i], L"--pid") && i + 1 < argc)
      pid = (DWORD)parse_long(argv[++i]);
  }
  DWORD start = GetTickCount();
  for (;;) {
    HWND h = find_top(cls, title, visible, pid);
    if (h) {
      print_common("window", h);
      out("\ttitle=%s\tforeground=%d\n", esc(window_title(h)).c_str(),
          GetForegroundWindow() == h ? 1 : 0);
      return 0;
    }
    if ((long)(GetTickCount() - start) >= timeout) break;
    Sleep(50);
  }
  out("timeout\n");
  return 1;
}

int cmd_wait_gone(int argc, wchar_t** argv) {
  if (argc < 2) return 2;
  HWND h = parse_hwnd(argv[0]);
  long timeout = parse_long(argv[1]);
  DWORD start = GetTickCount();
  while (IsWindow(h)) {
    if ((long)(GetTickCount() - start) >= timeout) {
      out("timeout\n");
      return 1;
    }
    Sleep(50);
  }
  out("gone\n");
  return 0;
}

int cmd_find(int argc, wchar_t** argv) {
  if (argc < 2) {
    err("usage: find CLASS|- TITLE|-\n");
    return 2;
  }
  // Plain FindWindowW, exactly what a program would call.
  HWND h = FindWindowW(opt_str(argv[0]), opt_str(argv[1]));
  if (!h) {
    out("none\n");
    return 1;
  }
  print_common("window", h);
  out("\ttitle=%s\tforeground=%d\n", esc(window_title(h)).c_str(),
      GetForegroundWindow() == h ? 1 : 0);
  return 0;
}

// ---------------------------------------------------------------- actions

int cmd_post(UINT msg, int argc, wchar_t** argv) {
  if (argc < 1) return 2;
  HWND h = parse_hwnd(argv[0]);
  WPARAM wp = argc > 1 ? (WPARAM)parse_long(argv[1]) : 0;
  LPARAM lp = argc > 2 ? (LPARAM)parse_long(argv[2]) : 0;
  if (!PostMessageW(h, msg, wp, lp)) {
    out("error\t%lu\n", (unsigned long)GetLastError());
    return 1;
  }
  out("ok\n");
  return 0;
}

int cmd_postmsg(int argc, wchar_t** argv) {
  if (argc < 2) return 2;
  wchar_t* rest[3] = {argv[0], argc > 2 ? argv[2] : nullptr,
                      argc > 3 ? argv[3] : nullptr};
  return cmd_post((UINT)parse_long(argv[1]), argc > 3 ? 3 : argc - 1, rest);
}

// WM_QUIT to the thread that owns the window, as any program may send it.
int cmd_quit(int argc, wchar_t** argv) {
  if (argc < 1) return 2;
  DWORD thread = GetWindowThreadProcessId(parse_hwnd(argv[0]), nullptr);
  if (!thread || !PostThreadMessageW(thread, WM_QUIT, 0, 0)) return 1;
  out("ok\n");
  return 0;
}

// A new thread in the window's process that starts at an address holding
// no code: an access violation that none of that process's code catches.
int cmd_fault(int argc, wchar_t** argv) {
  if (argc < 1) return 2;
  DWORD pid = 0;
  GetWindowThreadProcessId(parse_hwnd(argv[0]), &pid);
  HANDLE process = OpenProcess(PROCESS_ALL_ACCESS, FALSE, pid);
  if (!process) return 1;
  HANDLE thread = CreateRemoteThread(process, nullptr, 0,
                                     reinterpret_cast<LPTHREAD_START_ROUTINE>(0x10), nullptr,
                                     0, nullptr);
  CloseHandle(process);
  if (!thread) return 1;
  CloseHandle(thread);
  out("ok\n");
  return 0;
}

int cmd_foreground() {
  HWND h = GetForegroundWindow();
  if (!h) {
    out("none\n");
    return 1;
  }
  print_common("window", h);
  out("\ttitle=%s\tforeground=1\n", esc(window_title(h)).c_str());
  GUITHREADINFO gi = {};
  gi.cbSize = sizeof gi;
  if (GetGUIThreadInfo(0, &gi)) {
    out("gui\tactive=%s\tfocus=%s\tcapture=%s\n",
        hexptr(gi.hwndActive).c_str(), hexptr(gi.hwndFocus).c_str(),
        hexptr(gi.hwndCapture).c_str());
  }
  return 0;
}

// ---------------------------------------------------------------- tray

const wchar_t* g_until = nullptr;

bool until_reached() {
  return g_until && GetFileAttributesW(g_until) != INVALID_FILE_ATTRIBUTES;
}

LRESULT CALLBACK tray_proc(HWND h, UINT m, WPARAM wp, LPARAM lp) {
  switch (m) {
    case WM_TIMER:
      if (until_reached()) DestroyWindow(h);
      return 0;
    case WM_PAINT: {
      PAINTSTRUCT ps;
      HDC dc = BeginPaint(h, &ps);
      RECT r;
      GetClientRect(h, &r);
      HBRUSH b = CreateSolidBrush(RGB(32, 48, 96));
      FillRect(dc, &r, b);
      DeleteObject(b);
      EndPaint(h, &ps);
      return 0;
    }
    case WM_DESTROY:
      PostQuitMessage(0);
      return 0;
  }
  return DefWindowProcW(h, m, wp, lp);
}

int run_loop() {
  MSG msg;
  while (GetMessageW(&msg, nullptr, 0, 0) > 0) {
    TranslateMessage(&msg);
    DispatchMessageW(&msg);
  }
  return 0;
}

// tray [--height N] [--decoy TITLE] [--until FILE]
int cmd_tray(int argc, wchar_t** argv) {
  int height = 40;
  const wchar_t* decoy = nullptr;
  for (int i = 0; i < argc; ++i) {
    if (!wcscmp(argv[i], L"--height") && i + 1 < argc)
      height = (int)parse_long(argv[++i]);
    else if (!wcscmp(argv[i], L"--decoy") && i + 1 < argc)
      decoy = argv[++i];
    else if (!wcscmp(argv[i], L"--until") && i + 1 < argc)
      g_until = argv[++i];
  }
  WNDCLASSEXW wc = {};
  wc.cbSize = sizeof wc;
  wc.lpfnWndProc = tray_proc;
  wc.hInstance = GetModuleHandleW(nullptr);
  wc.hCursor = LoadCursorW(nullptr, (LPCWSTR)IDC_ARROW);
  wc.lpszClassName = L"Shell_TrayWnd";
  if (!RegisterClassExW(&wc)) {
    out("error\tregister\t%lu\n", (unsigned long)GetLastError());
    return 1;
  }
  int sw = GetSystemMetrics(SM_CXSCREEN), sh = GetSystemMetrics(SM_CYSCREEN);
  // Shown without activation, so it does not take the foreground.
  HWND h = CreateWindowExW(WS_EX_TOOLWINDOW | WS_EX_TOPMOST, L"Shell_TrayWnd",
                           L"", WS_POPUP, 0, sh - height, sw, height, nullptr,
                           nullptr, wc.hInstance, nullptr);
  if (!h) {
    out("error\tcreate\t%lu\n", (unsigned long)GetLastError());
    return 1;
  }
  ShowWindow(h, SW_SHOWNOACTIVATE);
  UpdateWindow(h);
  // Same class with a title, made later and so in front: a search that
  // ignores the empty title finds this one first.
  if (decoy)
    ShowWindow(CreateWindowExW(WS_EX_TOOLWINDOW | WS_EX_TOPMOST, L"Shell_TrayWnd", decoy, WS_POPUP,
                               0, 0, sw, height, nullptr, nullptr, wc.hInstance, nullptr),
               SW_SHOWNOACTIVATE);
  SetTimer(h, 1, 100, nullptr);
  out("tray\thwnd=%s\tpid=%lu\trect=0,%d,%d,%d\n", hexptr(h).c_str(),
      (unsigned long)GetCurrentProcessId(), sh - height, sw, sh);
  run_loop();
  out("tray-exit\n");
  return 0;
}

BOOL CALLBACK tray_state_cb(HWND h, LPARAM lp) {
  if (_wcsicmp(class_name(h).c_str(), L"Shell_TrayWnd") == 0) {
    print_common("traywnd", h);
    out("\ttitle=%s\n", esc(window_title(h)).c_str());
    ++*(int*)lp;
  }
  return TRUE;
}

int cmd_tray_state() {
  HWND h = FindWindowW(L"Shell_TrayWnd", nullptr);
  out("find\thwnd=%s\tvisible=%d\n", hexptr(h).c_str(),
      (h && IsWindowVisible(h)) ? 1 : 0);
  int n = 0;
  EnumWindows(tray_state_cb, (LPARAM)&n);
  out("end\tcount=%d\n", n);
  return h ? 0 : 1;
}

// ---------------------------------------------------------------- system

BOOL CALLBACK monitor_cb(HMONITOR m, HDC, LPRECT, LPARAM) {
  MONITORINFOEXW mi = {};
  mi.cbSize = sizeof mi;
  GetMonitorInfoW(m, &mi);
  out("monitor\thandle=%s\tname=%s\trect=%s\twork=%s\tprimary=%d\n",
      hexptr(m).c_str(), esc(mi.szDevice).c_str(), rect_str(mi.rcMonitor).c_str(),
      rect_str(mi.rcWork).c_str(), (mi.dwFlags & MONITORINFOF_PRIMARY) ? 1 : 0);
  return TRUE;
}

int cmd_sysinfo() {
  HDC dc = GetDC(nullptr);
  int dpix = GetDeviceCaps(dc, LOGPIXELSX), dpiy = GetDeviceCaps(dc, LOGPIXELSY);
  int bpp = GetDeviceCaps(dc, BITSPIXEL);
  ReleaseDC(nullptr, dc);
  RECT work = {0, 0, 0, 0};
  SystemParametersInfoW(SPI_GETWORKAREA, 0, &work, 0);
  BOOL ssactive = FALSE, ssrunning = FALSE;
  int sstimeout = 0;
  SystemParametersInfoW(SPI_GETSCREENSAVEACTIVE, 0, &ssactive, 0);
  SystemParametersInfoW(SPI_GETSCREENSAVETIMEOUT, 0, &sstimeout, 0);
  SystemParametersInfoW(SPI_GETSCREENSAVERRUNNING, 0, &ssrunning, 0);
  out("sysinfo\tscreen=%d,%d\tvirtual=%d,%d,%d,%d\tmonitors=%d\tdpi=%d,%d"
      "\tbpp=%d\twork=%s\n",
      GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN),
      GetSystemMetrics(SM_XVIRTUALSCREEN), GetSystemMetrics(SM_YVIRTUALSCREEN),
      GetSystemMetrics(SM_CXVIRTUALSCREEN), GetSystemMetrics(SM_CYVIRTUALSCREEN),
      GetSystemMetrics(SM_CMONITORS), dpix, dpiy, bpp, rect_str(work).c_str());
  out("locale\tacp=%u\toemcp=%u\tuser_lcid=0x%04lx\tui_lang=0x%04x"
      "\tsystem_lcid=0x%04lx\n",
      GetACP(), GetOEMCP(), (unsigned long)GetUserDefaultLCID(),
      (unsigned)GetUserDefaultUILanguage(), (unsigned long)GetSystemDefaultLCID());
  out("saver\tactive=%d\ttimeout=%d\trunning=%d\n", ssactive ? 1 : 0,
      sstimeout, ssrunning ? 1 : 0);
  OSVERSIONINFOW vi = {};
  vi.dwOSVersionInfoSize = sizeof vi;
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wdeprecated-declarations"
  GetVersionExW(&vi);
#pragma GCC diagnostic pop
  out("os\tversion=%lu.%lu.%lu\n", (unsigned long)vi.dwMajorVersion,
      (unsigned long)vi.dwMinorVersion, (unsigned long)vi.dwBuildNumber);
  EnumDisplayMonitors(nullptr, nullptr, monitor_cb, 0);
  out("end\n");
  return 0;
}

// registry-dump KEY: HKCU\..., HKLM\..., HKEY_CURRENT_USER\... (recursive)
void dump_key(HKEY root, const std::wstring& path, int depth) {
  HKEY k;
  if (RegOpenKeyExW(root, path.c_str(), 0, KEY_READ, &k) != ERROR_SUCCESS) {
    out("error\tkey=%s\n", esc(path).c_str());
    return;
  }
  out("key\tpath=%s\n", esc(path).c_str());
  for (DWORD i = 0;; ++i) {
    wchar_t name[16384];
    DWORD nlen = 16384, type = 0, dlen = 0;
    LONG rc = RegEnumValueW(k, i, name, &nlen, nullptr, &type, nullptr, &dlen);
    if (rc == ERROR_NO_MORE_ITEMS) break;
    if (rc != ERROR_SUCCESS) break;
    std::vector<BYTE> data(dlen + 4, 0);
    nlen = 16384;
    RegEnumValueW(k, i, name, &nlen, nullptr, &type, data.data(), &dlen);
    out("value\tkey=%s\tname=%s\ttype=%lu", esc(path).c_str(),
        esc(name).c_str(), (unsigned long)type);
    if (type == REG_SZ || type == REG_EXPAND_SZ) {
      out("\tdata=%s\n", esc((const wchar_t*)data.data()).c_str());
    } else if (type == REG_DWORD && dlen >= 4) {
      DWORD v;
      memcpy(&v, data.data(), 4);
      out("\tdata=%lu\n", (unsigned long)v);
    } else if (type == REG_MULTI_SZ) {
      std::wstring joined;
      const wchar_t* p = (const wchar_t*)data.data();
      while (*p) {
        if (!joined.empty()) joined += L'\n';
        joined += p;
        p += wcslen(p) + 1;
      }
      out("\tdata=%s\n", esc(joined).c_str());
    } else {
      out("\tdata=");
      for (DWORD j = 0; j < dlen; ++j) out("%02x", data[j]);
      out("\n");
    }
  }
  if (depth < 16) {
    for (DWORD i = 0;; ++i) {
      wchar_t name[256];
      DWORD nlen = 256;
      if (RegEnumKeyExW(k, i, name, &nlen, nullptr, nullptr, nullptr,
                        nullptr) != ERROR_SUCCESS)
        break;
      dump_key(root, path.empty() ? name : path + L"\\" + name, depth + 1);
    }
  }
  RegCloseKey(k);
}

int cmd_registry_dump(int argc, wchar_t** argv) {
  if (argc < 1) return 2;
  std::wstring full = argv[0];
  size_t slash = full.find(L'\\');
  std::wstring root = full.substr(0, slash);
  std::wstring path = slash == std::wstring::npos ? L"" : full.substr(slash + 1);
  HKEY r;
  if (!_wcsicmp(root.c_str(), L"HKCU") ||
      !_wcsicmp(root.c_str(), L"HKEY_CURRENT_USER"))
    r = HKEY_CURRENT_USER;
  else if (!_wcsicmp(root.c_str(), L"HKLM") ||
           !_wcsicmp(root.c_str(), L"HKEY_LOCAL_MACHINE"))
    r = HKEY_LOCAL_MACHINE;
  else {
    err("registry-dump: root must be HKCU or HKLM\n");
    return 2;
  }
  dump_key(r, path, 0);
  out("end\n");
  return 0;
}

void usage() {
  out("usage: zarvo-probe COMMAND [ARGS]\n"
      "  windows [--all] [--pid PID]     visible (or all) top-level windows\n"
      "  windows --children HWND         descendants of HWND\n"
      "  info HWND                       one window\n"
      "  find CLASS|- TITLE|-            FindWindowW\n"
      "  wait-window CLASS|- TITLE|- MS [--visible] [--pid PID]\n"
      "  wait-gone HWND MS\n"
      "  foreground                      the foreground window\n"
      "  close HWND                      post WM_CLOSE\n"
      "  post HWND MSG [WPARAM [LPARAM]] post any message\n"
      "  quit HWND                       WM_QUIT to the window's thread\n"
      "  fault HWND                      a faulting thread in the window's process\n"
      "  tray [--height N] [--decoy TITLE] [--until FILE]\n"
      "                                  stand-in Shell_TrayWnd task bar\n"
      "  tray-state                      Shell_TrayWnd windows\n"
      "  sysinfo                         screen, DPI, locale, saver settings\n"
      "  registry-dump HKCU\\KEY|HKLM\\KEY\n");
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  _setmode(_fileno(stdout), _O_BINARY);
  _setmode(_fileno(stderr), _O_BINARY);
  SetProcessDPIAware();
  if (argc < 2) {
    usage();
    return 2;
  }
  std::wstring c = argv[1];
  int n = argc - 2;
  wchar_t** a = argv + 2;
  if (c == L"windows") return cmd_windows(n, a);
  if (c == L"info") return cmd_info(n, a);
  if (c == L"find") return cmd_find(n, a);
  if (c == L"wait-window") return cmd_wait_window(n, a);
  if (c == L"wait-gone") return cmd_wait_gone(n, a);
  if (c == L"foreground") return cmd_foreground();
  if (c == L"close") return cmd_post(WM_CLOSE, n, a);
  if (c == L"post") return cmd_postmsg(n, a);
  if (c == L"quit") return cmd_quit(n, a);
  if (c == L"fault") return cmd_fault(n, a);
  if (c == L"tray") return cmd_tray(n, a);
  if (c == L"tray-state") return cmd_tray_state();
  if (c == L"sysinfo") return cmd_sysinfo();
  if (c == L"registry-dump") return cmd_registry_dump(n, a);
  usage();
  return c == L"help" ? 0 : 2;
}
