// The screen, the windows and the message loops.
#include "host/win32/windows_api.h"

#include <algorithm>
#include <exception>
#include <iterator>
#include <string>

#include "host/win32/controls.h"
#include "host/win32/dyn_api.h"
#include "host/win32/image_window.h"
#include "host/win32/wic_picture.h"
#include "host/win32/wide.h"
#include "host/win32/win32_os.h"
#include "host/win32/window.h"

namespace host::win32 {

namespace {

constexpr wchar_t kOwnerClass[] = L"ZarvoOwner";

RectPx ToRectPx(const RECT& r) { return {r.left, r.top, r.right - r.left, r.bottom - r.top}; }

BOOL CALLBACK AddMonitor(HMONITOR monitor, HDC, RECT*, LPARAM list) {
  MONITORINFO info{};
  info.cbSize = sizeof info;
  if (!GetMonitorInfoW(monitor, &info)) return TRUE;
  auto& monitors = *reinterpret_cast<std::vector<RectPx>*>(list);
  RectPx rect = ToRectPx(info.rcMonitor);
  if (info.dwFlags & MONITORINFOF_PRIMARY)
    monitors.insert(monitors.begin(), rect);
  else
    monitors.push_back(rect);
  return TRUE;
}

bool IsTopLevel(HWND hwnd) { return !(GetWindowLongW(hwnd, GWL_STYLE) & WS_CHILD); }

}  // namespace

Win32Os::~Win32Os() {
  if (hiddenOwner_) ::DestroyWindow(hiddenOwner_);
}

int Win32Os::Dpi() { return static_cast<int>(PrimaryDpi()); }

std::vector<RectPx> Win32Os::Monitors() {
  std::vector<RectPx> monitors;
  EnumDisplayMonitors(nullptr, nullptr, &AddMonitor, reinterpret_cast<LPARAM>(&monitors));
  if (monitors.empty())
    monitors.push_back({0, 0, GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN)});
  // The primary monitor is at (0, 0) already; keep the others relative to it.
  RectPx origin = monitors.front();
  for (RectPx& m : monitors) m.left -= origin.left, m.top -= origin.top;
  return monitors;
}

WindowId Win32Os::CreateForm(const FormSpec& desc) {
  HWND owner = FormWindow::NeedsOwner(desc) ? OwnerForDialog() : nullptr;
  FormWindow* form = FormWindow::Create(events_, desc, PrimaryDpi(), owner);
  return form ? ToId(form->Handle()) : 0;
}

WindowId Win32Os::CreateControl(WindowId form, const ControlSpec& desc) {
  auto* owner = Window::As<FormWindow>(ToHwnd(form));
  return owner ? ToId(CreateControlWindow(events_, *owner, desc)) : 0;
}

void Win32Os::DestroyWindow(WindowId window) {
  HWND hwnd = ToHwnd(window);
  if (!IsWindow(hwnd)) return;
  if (auto* form = Window::As<FormWindow>(hwnd)) form->HandActivationToOwner();
  if (auto* form = Window::As<FormWindow>(GetParent(hwnd)); form && !IsTopLevel(hwnd))
    form->RemoveControl(hwnd);
  ::DestroyWindow(hwnd);
}

void Win32Os::SetVisible(WindowId window, bool visible) {
  HWND hwnd = ToHwnd(window);
  if (auto* form = Window::As<FormWindow>(hwnd))
    form->SetVisible(visible);
  else
    ShowWindow(hwnd, visible ? SW_SHOWNA : SW_HIDE);
}

void Win32Os::SetBounds(WindowId window, RectPx b) {
  ::SetWindowPos(ToHwnd(window), nullptr, b.left, b.top, b.width, b.height,
                 SWP_NOZORDER | SWP_NOACTIVATE);
}

RectPx Win32Os::Bounds(WindowId window) {
  HWND hwnd = ToHwnd(window);
  RECT r{};
  GetWindowRect(hwnd, &r);
  if (!IsTopLevel(hwnd)) MapWindowPoints(nullptr, GetParent(hwnd), reinterpret_cast<POINT*>(&r), 2);
  return ToRectPx(r);
}

RectPx Win32Os::ClientRect(WindowId form) {
  RECT r{};
  GetClientRect(ToHwnd(form), &r);
  return ToRectPx(r);
}

void Win32Os::SetText(WindowId window, const Text& text) {
  SetWindowTextW(ToHwnd(window), W(text));
}

void Win32Os::SetBackColor(WindowId form, std::uint32_t color) {
  if (auto* f = Window::As<FormWindow>(ToHwnd(form))) f->SetBackColor(color);
}

void Win32Os::Maximize(WindowId form) {
  if (auto* f = Window::As<FormWindow>(ToHwnd(form))) f->Maximize();
}

void Win32Os::SetEnabled(WindowId window, bool enabled) { EnableWindow(ToHwnd(window), enabled); }

void Win32Os::SetFocus(WindowId window) { ::SetFocus(ToHwnd(window)); }

void Win32Os::Refresh(WindowId window) {
  RedrawWindow(ToHwnd(window), nullptr, nullptr,
               RDW_INVALIDATE | RDW_ERASE | RDW_UPDATENOW | RDW_ALLCHILDREN);
}

void Win32Os::SetImage(WindowId image, Picture picture, bool stretch) {
  if (auto* i = Window::As<ImageWindow>(ToHwnd(image))) i->SetPicture(std::move(picture), stretch);
}

int Win32Os::StartTimer(WindowId form, unsigned intervalMs) {
  auto* f = Window::As<FormWindow>(ToHwnd(form));
  return f ? f->StartTimer(intervalMs) : 0;
}

void Win32Os::StopTimer(WindowId form, int timerId) {
  if (auto* f = Window::As<FormWindow>(ToHwnd(form))) f->StopTimer(timerId);
}

// ------------------------------------------------------------ message loops

bool Win32Os::PumpOne() {
  MSG msg;
  BOOL got = GetMessageW(&msg, nullptr, 0, 0);
  if (got == 0 || got == -1) return false;
  // Tab, Enter, Esc and the access keys of forms with buttons go through
  // the dialog manager; the full-screen form gets its keys as they are.
  HWND root = msg.hwnd ? GetAncestor(msg.hwnd, GA_ROOT) : nullptr;
  auto* form = Window::As<FormWindow>(root);
  if (!(form && form->UsesDialogKeys() && IsDialogMessageW(root, &msg))) {
    TranslateMessage(&msg);
    DispatchMessageW(&msg);
  }
  Window::RethrowPending();
  return true;
}

void Win32Os::RunMessageLoop() {
  try {
    while (PumpOne()) {
    }
  } catch (...) {
    EndAfterFault();
  }
}

void Win32Os::EndAfterFault() {
  try {
    if (events_.sink) events_.sink->Fault();
  } catch (...) {
  }
  ::ExitProcess(1);
}

// ------------------------------------------------------------ picture loads

namespace {

// A key or mouse-button press waiting in this thread's queue. Only input
// is looked at: sent messages are not dispatched, so no handler runs.
bool PressWaiting() {
  const auto waiting = [](UINT press) {
    MSG msg;
    return PeekMessageW(&msg, nullptr, press, press, PM_NOREMOVE | PM_QS_INPUT) != FALSE;
  };
  return std::any_of(std::begin(kKeyPresses), std::end(kKeyPresses), waiting) ||
         std::any_of(std::begin(kButtonPresses), std::end(kButtonPresses), waiting);
}

}  // namespace

// MWMO_INPUTAVAILABLE wakes the wait for input queued before it began, so
// a press that lands between the look and the wait is not slept through.
// Input that is no press (a key's release) would wake every such wait at
// once; while only that waits, the load alone is waited for, a short
// while at a time.
LoadWait Win32Os::WaitForLoad(PictureLoad& load, unsigned ms) {
  constexpr DWORD kNoPressPollMs = 15;
  HurryLoad(load);
  HANDLE finished = LoadFinishedEvent(load);
  const ULONGLONG start = GetTickCount64();
  for (;;) {
    if (PressWaiting()) return LoadWait::Input;
    const ULONGLONG elapsed = GetTickCount64() - start;
    if (elapsed >= ms) return load.Finished() ? LoadWait::Finished : LoadWait::TimedOut;
    const auto left = static_cast<DWORD>(ms - elapsed);
    DWORD woke = MsgWaitForMultipleObjectsEx(1, &finished, left, QS_KEY | QS_MOUSEBUTTON,
                                             MWMO_INPUTAVAILABLE);
    if (woke == WAIT_OBJECT_0 + 1 && !PressWaiting()) {
      woke = WaitForSingleObject(finished, std::min(left, kNoPressPollMs));
    }
    if (woke == WAIT_OBJECT_0) return LoadWait::Finished;
    if (woke == WAIT_FAILED) return load.Finished() ? LoadWait::Finished : LoadWait::TimedOut;
  }
}

void Win32Os::RunModalLoop(const std::function<bool()>& done) {
  while (!done()) {
    if (!PumpOne()) {
      PostQuitMessage(0);  // for the outer loop
      return;
    }
  }
}

int Win32Os::MessageBox(const Text& text, const Text& caption, unsigned flags) {
  HWND owner = OwnerForMessageBox();
  // With no form to own it (the /A message) the box is task-modal and
  // still comes to the front.
  UINT style = flags | MB_SETFOREGROUND | (owner ? 0 : MB_TASKMODAL);
  int result = MessageBoxW(owner, W(text), W(caption), style);
  Window::RethrowPending();
  return result;
}

// ----------------------------------------------------------------- owners

HWND Win32Os::OwnerForDialog() {
  // A form opened from the active form (the About box from the settings)
  // stays in front of it.
  HWND active = GetActiveWindow();
  if (Window::As<FormWindow>(active) && IsWindowVisible(active)) return active;
  if (!hiddenOwner_) {
    WNDCLASSEXW wc{};
    wc.cbSize = sizeof wc;
    wc.lpfnWndProc = &DefWindowProcW;
    wc.hInstance = GetModuleHandleW(nullptr);
    wc.lpszClassName = kOwnerClass;
    RegisterClassExW(&wc);
    hiddenOwner_ = CreateWindowExW(0, kOwnerClass, L"", WS_POPUP, 0, 0, 0, 0, nullptr, nullptr,
                                   GetModuleHandleW(nullptr), nullptr);
  }
  return hiddenOwner_;
}

HWND Win32Os::OwnerForMessageBox() {
  HWND active = GetActiveWindow();
  if (active && IsWindowVisible(active)) return active;
  // Our visible forms, front to back.
  for (HWND w = GetTopWindow(nullptr); w; w = GetWindow(w, GW_HWNDNEXT))
    if (Window::As<FormWindow>(w) && IsWindowVisible(w) && IsWindowEnabled(w)) return w;
  return nullptr;
}

}  // namespace host::win32
