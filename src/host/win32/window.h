// One C++ object a window. The static window procedure finds the object
// through GWLP_USERDATA and calls its HandleMessage; the object deletes
// itself once its window is gone and none of its handlers is still running
// (a handler may destroy its own window through the toolkit).
#pragma once

#include "host/win32/windows_api.h"

#include <cstdint>
#include <exception>

#include "host/os.h"

namespace host::win32 {

class Window {
 public:
  Window(const Window&) = delete;
  Window& operator=(const Window&) = delete;

  HWND Handle() const { return hwnd_; }

  // The object of one of our windows, or null for any other window.
  static Window* FromHandle(HWND hwnd);
  template <class T>
  static T* As(HWND hwnd) {
    return dynamic_cast<T*>(FromHandle(hwnd));
  }

  // An exception cannot unwind through user32's frames, so a handler's
  // exception is kept here until the loop that dispatched the message can
  // rethrow it.
  static void RethrowPending();

 protected:
  Window() = default;
  virtual ~Window() = default;

  // Registers a window class served by this procedure (once per name).
  static void RegisterClass(const wchar_t* name, HBRUSH background, HCURSOR cursor);
  // Creates the window; the object is attached from WM_NCCREATE on. On
  // failure the object deletes itself and the result is null.
  HWND CreateWindowFor(DWORD exStyle, const wchar_t* className, const wchar_t* title, DWORD style,
                       int x, int y, int width, int height, HWND parent, HMENU menuOrId);

  virtual LRESULT HandleMessage(UINT message, WPARAM wParam, LPARAM lParam);
  // DefWindowProcW, while the window still exists.
  LRESULT Default(UINT message, WPARAM wParam, LPARAM lParam);
  // WM_KEYDOWN or WM_SYSKEYDOWN reported as input of `window`. System keys
  // then get their default handling, so Alt+F4 and the menu keys still work.
  LRESULT ReportKeyDown(EventSink* sink, std::uintptr_t window, UINT message, WPARAM wParam,
                        LPARAM lParam);

 private:
  static LRESULT CALLBACK WndProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);

  HWND hwnd_ = nullptr;
  int running_ = 0;  // handlers of this object on the stack
  static std::exception_ptr pending_;
  static Window* creating_;  // between CreateWindowExW and WM_NCCREATE
};

// Key and mouse-button presses: the input our windows report besides mouse
// moves, and the input that cuts a picture load short.
inline constexpr UINT kKeyPresses[] = {WM_KEYDOWN, WM_SYSKEYDOWN};
inline constexpr UINT kButtonPresses[] = {WM_LBUTTONDOWN, WM_RBUTTONDOWN, WM_MBUTTONDOWN};
bool IsKeyPress(UINT message);
bool IsMouseInput(UINT message);  // a move or a button press

// Mouse buttons and shift keys as the event sink numbers them.
int MouseButtons(WPARAM keyState);  // 1 left, 2 right, 4 middle
int ShiftState();                   // 1 shift, 2 ctrl, 4 alt

// Reports WM_MOUSEMOVE or WM_[LRM]BUTTONDOWN at `at` as input of `window`.
void ReportMouse(EventSink* sink, std::uintptr_t window, UINT message, WPARAM keyState, POINT at);

}  // namespace host::win32
