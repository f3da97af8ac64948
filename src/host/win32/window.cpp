#include "host/win32/window.h"

#include <algorithm>
#include <iterator>
#include <utility>

namespace host::win32 {

std::exception_ptr Window::pending_;
Window* Window::creating_ = nullptr;

Window* Window::FromHandle(HWND hwnd) {
  if (!hwnd || !IsWindow(hwnd)) return nullptr;
  // GWLP_USERDATA means something else in windows of other classes.
  if (GetWindowLongPtrW(hwnd, GWLP_WNDPROC) != reinterpret_cast<LONG_PTR>(&WndProc)) return nullptr;
  return reinterpret_cast<Window*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA));
}

void Window::RethrowPending() {
  if (pending_) std::rethrow_exception(std::exchange(pending_, nullptr));
}

void Window::RegisterClass(const wchar_t* name, HBRUSH background, HCURSOR cursor) {
  WNDCLASSEXW wc{};
  wc.cbSize = sizeof wc;
  if (GetClassInfoExW(GetModuleHandleW(nullptr), name, &wc)) return;
  wc.cbSize = sizeof wc;
  wc.lpfnWndProc = &WndProc;
  wc.hInstance = GetModuleHandleW(nullptr);
  wc.hCursor = cursor;
  wc.hbrBackground = background;
  wc.lpszClassName = name;
  // No CS_DBLCLKS: a quick second click is another button-down, as
  // the forms expect.
  RegisterClassExW(&wc);
}

HWND Window::CreateWindowFor(DWORD exStyle, const wchar_t* className, const wchar_t* title,
                             DWORD style, int x, int y, int width, int height, HWND parent,
                             HMENU menuOrId) {
  creating_ = this;
  HWND hwnd = CreateWindowExW(exStyle, className, title, style, x, y, width, height, parent,
                              menuOrId, GetModuleHandleW(nullptr), this);
  // An object whose window never got as far as WM_NCCREATE will not see
  // WM_NCDESTROY either.
  if (creating_ == this) {
    creating_ = nullptr;
    delete this;
  }
  return hwnd;
}

LRESULT Window::HandleMessage(UINT message, WPARAM wParam, LPARAM lParam) {
  return Default(message, wParam, lParam);
}

LRESULT Window::Default(UINT message, WPARAM wParam, LPARAM lParam) {
  return hwnd_ ? DefWindowProcW(hwnd_, message, wParam, lParam) : 0;
}

LRESULT CALLBACK Window::WndProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
  auto* self = reinterpret_cast<Window*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA));
  if (message == WM_NCCREATE) {
    self = static_cast<Window*>(reinterpret_cast<CREATESTRUCTW*>(lParam)->lpCreateParams);
    self->hwnd_ = hwnd;
    creating_ = nullptr;
    SetWindowLongPtrW(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(self));
  }
  if (!self) return DefWindowProcW(hwnd, message, wParam, lParam);

  ++self->running_;
  LRESULT result = 0;
  try {
    result = self->HandleMessage(message, wParam, lParam);
  } catch (...) {
    if (!pending_) pending_ = std::current_exception();
  }
  if (message == WM_NCDESTROY) {
    SetWindowLongPtrW(hwnd, GWLP_USERDATA, 0);
    self->hwnd_ = nullptr;
  }
  if (--self->running_ == 0 && !self->hwnd_) delete self;
  return result;
}

LRESULT Window::ReportKeyDown(EventSink* sink, std::uintptr_t window, UINT message, WPARAM wParam,
                              LPARAM lParam) {
  if (sink) sink->KeyDown(window, static_cast<int>(wParam), ShiftState());
  return message == WM_SYSKEYDOWN ? Default(message, wParam, lParam) : 0;
}

bool IsKeyPress(UINT message) {
  return std::find(std::begin(kKeyPresses), std::end(kKeyPresses), message) !=
         std::end(kKeyPresses);
}

bool IsMouseInput(UINT message) {
  return message == WM_MOUSEMOVE || std::find(std::begin(kButtonPresses), std::end(kButtonPresses),
                                              message) != std::end(kButtonPresses);
}

int MouseButtons(WPARAM keyState) {
  return ((keyState & MK_LBUTTON) ? 1 : 0) | ((keyState & MK_RBUTTON) ? 2 : 0) |
         ((keyState & MK_MBUTTON) ? 4 : 0);
}

void ReportMouse(EventSink* sink, std::uintptr_t window, UINT message, WPARAM keyState, POINT at) {
  if (!sink) return;
  if (message == WM_MOUSEMOVE) {
    sink->MouseMove(window, MouseButtons(keyState), ShiftState(), at.x, at.y);
    return;
  }
  int button = message == WM_LBUTTONDOWN ? 1 : message == WM_RBUTTONDOWN ? 2 : 4;
  sink->MouseDown(window, button, ShiftState(), at.x, at.y);
}

int ShiftState() {
  auto down = [](int key) { return (GetKeyState(key) & 0x8000) != 0; };
  return (down(VK_SHIFT) ? 1 : 0) | (down(VK_CONTROL) ? 2 : 0) | (down(VK_MENU) ? 4 : 0);
}

}  // namespace host::win32
