// host::Os on the Win32 API: the wide API for everything the user sees, the
// ANSI calls the forms make passed through as they are.
#pragma once

#include "host/win32/windows_api.h"

#include <optional>

#include "host/os.h"
#include "host/win32/form_window.h"
#include "host/win32/window_guard.h"

namespace host::win32 {

// What follows the program name and the blanks after it.
Text ArgumentsOf(const wchar_t* commandLine);

// SetWindowPos that never waits for another thread (win32_os_direct.cpp).
BOOL SetWindowPosWithoutWaiting(HWND window, HWND insertAfter, int x, int y, int cx, int cy,
                                UINT flags);

class Win32Os final : public Os {
 public:
  Win32Os() : interfaceThread_(GetCurrentThreadId()) {}
  Win32Os(const Win32Os&) = delete;
  Win32Os& operator=(const Win32Os&) = delete;
  ~Win32Os() override;

  void SetEventSink(EventSink* sink) override { events_.sink = sink; }

  // The process (win32_os_process.cpp).
  Text CommandArguments() override;
  bool AnotherInstanceRunning() override;
  Text ExePath() override;
  VersionInfo Version() override;
  [[noreturn]] void ExitProcess() override;
  bool OnInterfaceThread() override { return GetCurrentThreadId() == interfaceThread_; }
  void GuardHiddenWindow(WindowId window) override;
  void DismissGuard() override;

  // The screen and the windows (win32_os_windows.cpp).
  int Dpi() override;
  std::vector<RectPx> Monitors() override;
  WindowId CreateForm(const FormSpec& desc) override;
  WindowId CreateControl(WindowId form, const ControlSpec& desc) override;
  void DestroyWindow(WindowId window) override;
  void SetVisible(WindowId window, bool visible) override;
  void SetBounds(WindowId window, RectPx bounds) override;
  RectPx Bounds(WindowId window) override;
  RectPx ClientRect(WindowId form) override;
  void SetText(WindowId window, const Text& text) override;
  void SetBackColor(WindowId form, std::uint32_t color) override;
  void Maximize(WindowId form) override;
  void SetEnabled(WindowId window, bool enabled) override;
  void SetFocus(WindowId window) override;
  void Refresh(WindowId window) override;
  void SetImage(WindowId image, Picture picture, bool stretch) override;
  int StartTimer(WindowId form, unsigned intervalMs) override;
  void StopTimer(WindowId form, int timerId) override;
  void RunMessageLoop() override;
  void RunModalLoop(const std::function<bool()>& done) override;
  int MessageBox(const Text& text, const Text& caption, unsigned flags) override;

  // Pictures: the loader thread (wic_picture.cpp) and the wait for it,
  // which lets key and button presses through (win32_os_windows.cpp).
  std::shared_ptr<PictureLoad> BeginLoadPicture(const LoadRequest& request) override;
  std::shared_ptr<PictureLoad> BeginPreparePicture(const LoadRequest& request) override;
  LoadWait WaitForLoad(PictureLoad& load, unsigned ms) override;

  // Files, processes, code pages (win32_os_process.cpp).
  bool IsNormalFile(const Text& path) override;
  std::uint32_t Shell(const Text& path, int windowStyle) override;
  std::string ToAnsi(const Text& text) override;
  Text FromAnsi(std::string_view bytes) override;

  // The forms' direct calls (win32_os_direct.cpp).
  std::int32_t SystemParametersInfoA(std::uint32_t action, std::uint32_t param, const char* pvParam,
                                     std::uint32_t winIni) override;
  std::int32_t ShowCursor(std::int32_t show) override;
  std::uintptr_t ImmAssociateContext(WindowId window, std::uintptr_t context) override;
  WindowId FindWindowA(const std::string& className, const std::string& windowName) override;
  std::int32_t SetWindowPos(WindowId window, std::intptr_t insertAfter, int x, int y, int cx,
                            int cy, std::uint32_t flags) override;
  std::int32_t RegOpenKeyExA(std::uint32_t root, const std::string& subKey, std::uint32_t options,
                             std::uint32_t access, RegKey* result) override;
  std::int32_t RegQueryValueExA(RegKey key, const std::string& valueName, std::uint32_t* type,
                                std::uint8_t* data, std::uint32_t* size) override;
  std::int32_t RegCloseKey(RegKey key) override;

 private:
  // Gets one message and dispatches it; false on WM_QUIT.
  bool PumpOne();
  // An exception that escaped our own code: the toolkit gives the desktop
  // back, says so and ends the program.
  [[noreturn]] void EndAfterFault();
  // The owner of a captioned form that has no task-bar button.
  HWND OwnerForDialog();
  // The form a message box belongs to: the active one, else any visible one.
  HWND OwnerForMessageBox();

  Events events_;
  std::optional<VersionInfo> version_;
  HANDLE instanceMutex_ = nullptr;
  bool instanceChecked_ = false;
  bool anotherInstance_ = false;
  HWND hiddenOwner_ = nullptr;
  WindowGuard windowGuard_;
  DWORD interfaceThread_;
};

}  // namespace host::win32
