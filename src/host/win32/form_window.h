// Forms: top-level windows with their controls, menu bar, timers and, for
// the full-screen form, the black cover windows on the other monitors.
#pragma once

#include "host/win32/windows_api.h"

#include <map>
#include <vector>

#include "host/os.h"
#include "host/win32/colors.h"
#include "host/win32/window.h"

namespace host::win32 {

// The toolkit's event sink, shared by every window of the process.
struct Events {
  EventSink* sink = nullptr;
};

class FormWindow final : public Window {
 public:
  // The form, hidden, with a client area of exactly the size asked for.
  // `owner` is used when NeedsOwner(desc). Null on failure.
  static FormWindow* Create(Events& events, const FormSpec& desc, UINT dpi, HWND owner);
  // A captioned form without a task-bar button is an owned window.
  static bool NeedsOwner(const FormSpec& desc) {
    return !desc.showInTaskbar && desc.border != BorderStyle::None;
  }

  UINT Dpi() const { return dpi_; }
  // Registers a child control: its place in the tab order (z-order),
  // default/cancel role and colours. Returns the child id to create it with.
  int NextControlId() { return nextControlId_++; }
  void AddControl(HWND control, const ControlSpec& desc);
  void RemoveControl(HWND control);
  // Forms with focusable controls get the dialog keys (Tab, Enter, Esc,
  // access keys) from IsDialogMessageW in the message loop.
  bool UsesDialogKeys() const { return defaultButton_ || cancelButton_ || tabStops_ > 0; }

  void SetVisible(bool visible);
  // Before the form goes away: a modal form's owner is still disabled, and
  // Windows would hand the activation to some other program instead.
  void HandActivationToOwner();
  void Maximize();
  void SetBackColor(std::uint32_t color);
  int StartTimer(unsigned intervalMs);
  void StopTimer(int timerId);

 private:
  struct ControlInfo {
    ControlKind kind;
    COLORREF foreColor;
    Brush lineBrush;
  };

  FormWindow(Events& events, const FormSpec& desc, UINT dpi);
  ~FormWindow() override = default;

  LRESULT HandleMessage(UINT message, WPARAM wParam, LPARAM lParam) override;
  LRESULT OnCommand(WORD id, WORD code, HWND from);
  LRESULT OnCtlColor(HDC dc, HWND control);
  LRESULT OnEraseBackground(HDC dc);
  LRESULT OnMouse(UINT message, WPARAM wParam, LPARAM lParam);
  LRESULT OnActivate(WPARAM wParam, LPARAM lParam);
  LRESULT OnInitMenuPopup(HMENU menu, LPARAM lParam);
  LRESULT OnGetMinMaxInfo(MINMAXINFO* info);
  LRESULT OnSysCommand(WPARAM wParam, LPARAM lParam);
  LRESULT OnDestroy();

  void BuildMenuBar(const std::vector<MenuItemSpec>& items);
  HMENU BuildMenu(const std::vector<MenuItemSpec>& items, int parent, bool bar, int depth);
  void SetIcons();
  void FitClientArea(int width, int height);
  void CreateCovers();
  void ShowCovers(bool visible);
  void FillPrimaryMonitor();
  EventSink* Sink() const { return events_.sink; }
  std::uintptr_t Id() const { return reinterpret_cast<std::uintptr_t>(Handle()); }

  Events& events_;
  const UINT dpi_;
  const bool borderless_;
  const bool refusesScreenSaver_;
  bool everShown_ = false;
  bool maximizeOnShow_ = false;
  Brush back_;
  COLORREF backColor_ = 0;
  std::map<HWND, ControlInfo> controls_;
  std::vector<std::pair<int, HWND>> tabOrder_;  // by tab index
  int tabStops_ = 0;
  HWND defaultButton_ = nullptr;
  HWND cancelButton_ = nullptr;
  HWND lastFocus_ = nullptr;
  int nextControlId_ = 0x100;
  std::map<UINT, int> menuCommands_;  // command id -> menu item id
  std::map<HMENU, int> menuPopups_;   // drop-down -> id of the item that opens it
  std::vector<HWND> covers_;
  int nextTimerId_ = 1;
};

}  // namespace host::win32
