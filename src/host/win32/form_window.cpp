#include "host/win32/form_window.h"

#include <windowsx.h>

#include <algorithm>

#include "host/win32/app_icon.h"
#include "host/win32/dyn_api.h"
#include "host/win32/wide.h"

namespace host::win32 {

namespace {

constexpr wchar_t kScreenClass[] = L"ZarvoScreen";  // forms without a border
constexpr wchar_t kFormClass[] = L"ZarvoForm";      // captioned forms
constexpr wchar_t kCoverClass[] = L"ZarvoCover";
constexpr UINT kFirstMenuCommand = 0x4000;  // above every child control id
constexpr int kMaxMenuDepth = 8;

RECT PrimaryMonitor(bool workArea) {
  MONITORINFO info{};
  info.cbSize = sizeof info;
  GetMonitorInfoW(MonitorFromPoint(POINT{0, 0}, MONITOR_DEFAULTTOPRIMARY), &info);
  return workArea ? info.rcWork : info.rcMonitor;
}

struct Styles {
  DWORD style;
  DWORD exStyle;
};

Styles StylesFor(const FormSpec& desc, bool owned) {
  Styles s{WS_CLIPCHILDREN, 0};
  switch (desc.border) {
    case BorderStyle::None:
      s.style |= WS_POPUP;
      break;
    case BorderStyle::FixedSingle:
      s.style |= WS_CAPTION | WS_BORDER;
      break;
    case BorderStyle::FixedDialog:
      s.style |= WS_CAPTION | WS_DLGFRAME;
      s.exStyle |= WS_EX_DLGMODALFRAME;
      break;
  }
  if (desc.border != BorderStyle::None) {
    if (desc.controlBox) s.style |= WS_SYSMENU;
    if (desc.minButton) s.style |= WS_MINIMIZEBOX;
    if (desc.maxButton) s.style |= WS_MAXIMIZEBOX;
  }
  if (desc.showInTaskbar)
    s.exStyle |= WS_EX_APPWINDOW;
  else if (!owned)
    s.exStyle |= WS_EX_TOOLWINDOW;  // a popup without a caption: no button anywhere
  return s;
}

// A plain black window over one of the other monitors. Its input is the
// form's: the form's window id, coordinates in the form's client area.
class CoverWindow final : public Window {
 public:
  static HWND Create(Events& events, HWND form, const RECT& monitor) {
    RegisterClass(kCoverClass, static_cast<HBRUSH>(GetStockObject(BLACK_BRUSH)),
                  LoadCursorW(nullptr, IDC_ARROW));
    auto* cover = new CoverWindow(events, form);
    return cover->CreateWindowFor(WS_EX_TOPMOST | WS_EX_TOOLWINDOW | WS_EX_NOACTIVATE, kCoverClass,
                                  L"", WS_POPUP, monitor.left, monitor.top,
                                  monitor.right - monitor.left, monitor.bottom - monitor.top, form,
                                  nullptr);
  }

 private:
  CoverWindow(Events& events, HWND form) : events_(events), form_(form) {}

  LRESULT HandleMessage(UINT message, WPARAM wParam, LPARAM lParam) override {
    if (IsMouseInput(message)) return OnMouse(message, wParam, lParam);
    if (IsKeyPress(message))
      return ReportKeyDown(events_.sink, ToId(form_), message, wParam, lParam);
    if (message == WM_MOUSEACTIVATE) return MA_NOACTIVATE;  // the form keeps the keyboard
    return Window::HandleMessage(message, wParam, lParam);
  }

  LRESULT OnMouse(UINT message, WPARAM wParam, LPARAM lParam) {
    POINT at{GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam)};
    MapWindowPoints(Handle(), form_, &at, 1);
    ReportMouse(events_.sink, ToId(form_), message, wParam, at);
    return 0;
  }

  Events& events_;
  HWND form_;
};

BOOL CALLBACK AddOtherMonitor(HMONITOR monitor, HDC, RECT*, LPARAM list) {
  MONITORINFO info{};
  info.cbSize = sizeof info;
  if (GetMonitorInfoW(monitor, &info) && !(info.dwFlags & MONITORINFOF_PRIMARY))
    reinterpret_cast<std::vector<RECT>*>(list)->push_back(info.rcMonitor);
  return TRUE;
}

}  // namespace

FormWindow::FormWindow(Events& events, const FormSpec& desc, UINT dpi)
    : events_(events),
      dpi_(dpi),
      borderless_(desc.border == BorderStyle::None),
      refusesScreenSaver_(desc.refusesScreenSaver) {}

FormWindow* FormWindow::Create(Events& events, const FormSpec& desc, UINT dpi, HWND owner) {
  // The erase handler paints every pixel; the class brushes only matter
  // for what a compositor might show before the first WM_ERASEBKGND.
  RegisterClass(kScreenClass, static_cast<HBRUSH>(GetStockObject(BLACK_BRUSH)),
                LoadCursorW(nullptr, IDC_ARROW));
  RegisterClass(kFormClass, GetSysColorBrush(COLOR_BTNFACE), LoadCursorW(nullptr, IDC_ARROW));

  bool borderless = desc.border == BorderStyle::None;
  bool owned = NeedsOwner(desc);
  Styles styles = StylesFor(desc, owned);
  RECT frame{0, 0, desc.clientWidth, desc.clientHeight};
  AdjustRectForDpi(&frame, styles.style, !desc.menus.empty(), styles.exStyle, dpi);
  int width = frame.right - frame.left, height = frame.bottom - frame.top;

  int x = 0, y = 0;
  if (desc.startUp == StartUpPosition::CenterOwner ||
      desc.startUp == StartUpPosition::CenterScreen) {
    RECT work = PrimaryMonitor(true);
    x = work.left + (work.right - work.left - width) / 2;
    y = work.top + (work.bottom - work.top - height) / 2;
  } else if (desc.startUp == StartUpPosition::WindowsDefault && !borderless) {
    x = y = CW_USEDEFAULT;  // a popup would take this as 0
  }

  auto* form = new FormWindow(events, desc, dpi);
  form->backColor_ = ToColorRef(desc.backColor, COLOR_BTNFACE);
  form->back_.Reset(CreateSolidBrush(form->backColor_));
  HWND hwnd =
      form->CreateWindowFor(styles.exStyle, borderless ? kScreenClass : kFormClass, W(desc.caption),
                            styles.style, x, y, width, height, owned ? owner : nullptr, nullptr);
  if (!hwnd) return nullptr;
  if (!desc.menus.empty()) form->BuildMenuBar(desc.menus);
  form->FitClientArea(desc.clientWidth, desc.clientHeight);
  if (desc.appIcon) form->SetIcons();
  if (desc.coverOtherMonitors) form->CreateCovers();
  return form;
}

void FormWindow::BuildMenuBar(const std::vector<MenuItemSpec>& items) {
  HMENU bar = BuildMenu(items, -1, true, 0);
  if (!SetMenu(Handle(), bar)) DestroyMenu(bar);
}

// The items whose parent is `parent`; an item that has items of its own
// opens a drop-down. Command ids are our own, so that they never meet the
// ids of the child controls or IDOK/IDCANCEL.
HMENU FormWindow::BuildMenu(const std::vector<MenuItemSpec>& items, int parent, bool bar,
                            int depth) {
  HMENU menu = bar ? CreateMenu() : CreatePopupMenu();
  for (const MenuItemSpec& item : items) {
    if (item.parent != parent) continue;
    bool hasItems = depth < kMaxMenuDepth && item.id != parent &&
                    std::any_of(items.begin(), items.end(),
                                [&](const MenuItemSpec& i) { return i.parent == item.id; });
    if (item.caption == u"-") {
      AppendMenuW(menu, MF_SEPARATOR, 0, nullptr);
    } else if (hasItems) {
      HMENU popup = BuildMenu(items, item.id, false, depth + 1);
      menuPopups_[popup] = item.id;
      AppendMenuW(menu, MF_POPUP, reinterpret_cast<UINT_PTR>(popup), W(item.caption));
    } else {
      UINT command = kFirstMenuCommand + static_cast<UINT>(menuCommands_.size());
      menuCommands_[command] = item.id;
      AppendMenuW(menu, MF_STRING, command, W(item.caption));
    }
  }
  return menu;
}

// The frame computed before the window existed can be off (a menu bar that
// wraps, a system that ignores the DPI): measure and correct it.
void FormWindow::FitClientArea(int width, int height) {
  RECT client, frame;
  GetClientRect(Handle(), &client);
  int dx = width - client.right, dy = height - client.bottom;
  if (dx == 0 && dy == 0) return;
  GetWindowRect(Handle(), &frame);
  SetWindowPos(Handle(), nullptr, 0, 0, frame.right - frame.left + dx,
               frame.bottom - frame.top + dy, SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
}

void FormWindow::SetIcons() {
  HICON big = AppIcon(MetricForDpi(SM_CXICON, dpi_));
  HICON small = AppIcon(MetricForDpi(SM_CXSMICON, dpi_));
  SendMessageW(Handle(), WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(big));
  SendMessageW(Handle(), WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(small));
}

void FormWindow::CreateCovers() {
  std::vector<RECT> monitors;
  EnumDisplayMonitors(nullptr, nullptr, &AddOtherMonitor, reinterpret_cast<LPARAM>(&monitors));
  for (const RECT& monitor : monitors)
    if (HWND cover = CoverWindow::Create(events_, Handle(), monitor)) covers_.push_back(cover);
}

void FormWindow::ShowCovers(bool visible) {
  for (HWND cover : covers_) {
    if (!IsWindow(cover)) continue;
    if (!visible) {
      ShowWindow(cover, SW_HIDE);
      continue;
    }
    SetWindowPos(cover, HWND_TOPMOST, 0, 0, 0, 0,
                 SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE | SWP_SHOWWINDOW);
    UpdateWindow(cover);
  }
}

void FormWindow::AddControl(HWND control, const ControlSpec& desc) {
  ControlInfo info{desc.kind, ToColorRef(desc.foreColor, COLOR_BTNTEXT), {}};
  if (desc.kind == ControlKind::Line)
    info.lineBrush.Reset(CreateSolidBrush(ToColorRef(desc.lineColor, COLOR_WINDOWTEXT)));
  controls_.emplace(control, std::move(info));
  if (desc.kind == ControlKind::Button) {
    ++tabStops_;
    if (desc.isDefault) defaultButton_ = control;
    if (desc.isCancel) cancelButton_ = control;
  }

  // Tab moves through the children in z-order: keep it the tab-index order.
  auto at = std::upper_bound(tabOrder_.begin(), tabOrder_.end(), desc.tabIndex,
                             [](int index, const auto& entry) { return index < entry.first; });
  HWND after = at == tabOrder_.begin() ? HWND_TOP : std::prev(at)->second;
  tabOrder_.insert(at, {desc.tabIndex, control});
  SetWindowPos(control, after, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
}

void FormWindow::RemoveControl(HWND control) {
  auto it = controls_.find(control);
  if (it == controls_.end()) return;
  if (it->second.kind == ControlKind::Button) --tabStops_;
  controls_.erase(it);
  std::erase_if(tabOrder_, [&](const auto& entry) { return entry.second == control; });
  if (defaultButton_ == control) defaultButton_ = nullptr;
  if (cancelButton_ == control) cancelButton_ = nullptr;
  if (lastFocus_ == control) lastFocus_ = nullptr;
}

void FormWindow::SetVisible(bool visible) {
  HWND hwnd = Handle();
  if (!visible) {
    HandActivationToOwner();
    ShowWindow(hwnd, SW_HIDE);
    ShowCovers(false);
    return;
  }
  ShowCovers(true);
  if (IsWindowVisible(hwnd)) return;

  // Cloaked, the window is shown and painted before the compositor puts it
  // on the screen: no frame of white or of the old desktop in between.
  bool cloaked = Cloak(hwnd, true);
  int command = maximizeOnShow_ ? SW_SHOWMAXIMIZED : everShown_ ? SW_SHOW : SW_SHOWNORMAL;
  ShowWindow(hwnd, command);
  if (maximizeOnShow_) FillPrimaryMonitor();
  UpdateWindow(hwnd);
  if (cloaked) Cloak(hwnd, false);
  if (!everShown_) SetForegroundWindow(hwnd);
  everShown_ = true;
}

void FormWindow::HandActivationToOwner() {
  HWND owner = GetWindow(Handle(), GW_OWNER);
  if (owner && GetActiveWindow() == Handle() && As<FormWindow>(owner) && !IsWindowEnabled(owner))
    EnableWindow(owner, TRUE);  // the toolkit enables it right after anyway
}

void FormWindow::Maximize() {
  maximizeOnShow_ = true;  // ShowWindow(SW_MAXIMIZE) would show a hidden form now
  if (!IsWindowVisible(Handle())) return;
  ShowWindow(Handle(), SW_MAXIMIZE);
  FillPrimaryMonitor();
}

// A maximized form without a border covers the whole primary monitor, task
// bar included, whatever the window manager made of the maximize.
void FormWindow::FillPrimaryMonitor() {
  if (!borderless_) return;
  RECT monitor = PrimaryMonitor(false), now;
  GetWindowRect(Handle(), &now);
  if (EqualRect(&monitor, &now)) return;
  SetWindowPos(Handle(), nullptr, monitor.left, monitor.top, monitor.right - monitor.left,
               monitor.bottom - monitor.top, SWP_NOZORDER | SWP_NOACTIVATE);
}

void FormWindow::SetBackColor(std::uint32_t color) {
  backColor_ = ToColorRef(color, COLOR_BTNFACE);
  back_.Reset(CreateSolidBrush(backColor_));
  RedrawWindow(Handle(), nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_ALLCHILDREN);
}

int FormWindow::StartTimer(unsigned intervalMs) {
  int id = nextTimerId_++;
  SetTimer(Handle(), static_cast<UINT_PTR>(id), std::max<unsigned>(intervalMs, USER_TIMER_MINIMUM),
           nullptr);
  return id;
}

void FormWindow::StopTimer(int timerId) { KillTimer(Handle(), static_cast<UINT_PTR>(timerId)); }

// ---------------------------------------------------------------- messages

LRESULT FormWindow::HandleMessage(UINT message, WPARAM wParam, LPARAM lParam) {
  if (IsMouseInput(message)) return OnMouse(message, wParam, lParam);
  if (IsKeyPress(message)) return ReportKeyDown(Sink(), Id(), message, wParam, lParam);
  switch (message) {
    case WM_CLOSE:
      if (Sink()) Sink()->CloseRequest(Id());
      return 0;  // the toolkit decides, and destroys the window itself
    case WM_COMMAND:
      return OnCommand(LOWORD(wParam), HIWORD(wParam), reinterpret_cast<HWND>(lParam));
    case DM_GETDEFID:
      return defaultButton_ ? MAKELRESULT(GetDlgCtrlID(defaultButton_), DC_HASDEFID) : 0;
    case WM_TIMER:
      if (Sink()) Sink()->Timer(Id(), static_cast<int>(wParam));
      return 0;
    case WM_ERASEBKGND:
      return OnEraseBackground(reinterpret_cast<HDC>(wParam));
    case WM_CTLCOLORSTATIC:
    case WM_CTLCOLORBTN:
      return OnCtlColor(reinterpret_cast<HDC>(wParam), reinterpret_cast<HWND>(lParam));
    case WM_ACTIVATE:
      return OnActivate(wParam, lParam);
    case WM_INITMENUPOPUP:
      return OnInitMenuPopup(reinterpret_cast<HMENU>(wParam), lParam);
    case WM_GETMINMAXINFO:
      return OnGetMinMaxInfo(reinterpret_cast<MINMAXINFO*>(lParam));
    case WM_SYSCOMMAND:
      return OnSysCommand(wParam, lParam);
    case WM_QUERYENDSESSION:
      return TRUE;
    case WM_ENDSESSION:
      if (wParam && Sink()) Sink()->SessionEnding();
      return 0;
    case WM_DESTROY:
      return OnDestroy();
  }
  return Window::HandleMessage(message, wParam, lParam);
}

LRESULT FormWindow::OnCommand(WORD id, WORD code, HWND from) {
  if (!from) {
    if (auto it = menuCommands_.find(id); it != menuCommands_.end()) {
      if (Sink()) Sink()->MenuClick(Id(), it->second);
      return 0;
    }
    // The dialog manager reports Enter and Esc as IDOK and IDCANCEL.
    from = id == IDOK ? defaultButton_ : id == IDCANCEL ? cancelButton_ : GetDlgItem(Handle(), id);
  }
  auto it = controls_.find(from);
  bool clickable = it != controls_.end() && (it->second.kind == ControlKind::Button ||
                                             it->second.kind == ControlKind::Label);
  if (code == BN_CLICKED && clickable && IsWindowEnabled(from) && IsWindowVisible(from) && Sink())
    Sink()->Click(ToId(from));
  return 0;
}

LRESULT FormWindow::OnCtlColor(HDC dc, HWND control) {
  auto it = controls_.find(control);
  if (it != controls_.end() && it->second.lineBrush.Get())
    return reinterpret_cast<LRESULT>(it->second.lineBrush.Get());
  SetBkColor(dc, backColor_);
  SetTextColor(dc, it != controls_.end() ? it->second.foreColor : GetSysColor(COLOR_BTNTEXT));
  return reinterpret_cast<LRESULT>(back_.Get());
}

LRESULT FormWindow::OnEraseBackground(HDC dc) {
  RECT client;
  GetClientRect(Handle(), &client);
  FillRect(dc, &client, back_.Get());
  return TRUE;
}

LRESULT FormWindow::OnMouse(UINT message, WPARAM wParam, LPARAM lParam) {
  ReportMouse(Sink(), Id(), message, wParam, POINT{GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam)});
  return 0;
}

// Like a dialog box, the form gives the keyboard back to the control that
// had it, or to the first in the tab order.
LRESULT FormWindow::OnActivate(WPARAM wParam, LPARAM lParam) {
  HWND focus = GetFocus();
  if (LOWORD(wParam) == WA_INACTIVE) {
    if (focus && IsChild(Handle(), focus)) lastFocus_ = focus;
    return Default(WM_ACTIVATE, wParam, lParam);
  }
  if (HIWORD(wParam) || !UsesDialogKeys()) return Default(WM_ACTIVATE, wParam, lParam);
  HWND target = lastFocus_ && IsChild(Handle(), lastFocus_) && IsWindowEnabled(lastFocus_) &&
                        IsWindowVisible(lastFocus_)
                    ? lastFocus_
                    : GetNextDlgTabItem(Handle(), nullptr, FALSE);
  if (!target) return Default(WM_ACTIVATE, wParam, lParam);
  ::SetFocus(target);
  return 0;
}

// A menu-bar title is clicked when its drop-down opens.
LRESULT FormWindow::OnInitMenuPopup(HMENU menu, LPARAM lParam) {
  if (!HIWORD(lParam))
    if (auto it = menuPopups_.find(menu); it != menuPopups_.end() && Sink())
      Sink()->MenuClick(Id(), it->second);
  return 0;
}

// Maximized, a form without a border is the size of the whole primary
// monitor: the window manager then places it over the task bar too.
LRESULT FormWindow::OnGetMinMaxInfo(MINMAXINFO* info) {
  Default(WM_GETMINMAXINFO, 0, reinterpret_cast<LPARAM>(info));
  if (!borderless_) return 0;
  RECT monitor = PrimaryMonitor(false);
  info->ptMaxPosition = POINT{0, 0};
  info->ptMaxSize = POINT{monitor.right - monitor.left, monitor.bottom - monitor.top};
  info->ptMaxTrackSize.x = std::max(info->ptMaxTrackSize.x, info->ptMaxSize.x);
  info->ptMaxTrackSize.y = std::max(info->ptMaxTrackSize.y, info->ptMaxSize.y);
  return 0;
}

LRESULT FormWindow::OnSysCommand(WPARAM wParam, LPARAM lParam) {
  if (refusesScreenSaver_ && (wParam & 0xFFF0) == SC_SCREENSAVE) return 0;
  return Default(WM_SYSCOMMAND, wParam, lParam);
}

LRESULT FormWindow::OnDestroy() {
  for (HWND cover : covers_)
    if (IsWindow(cover)) ::DestroyWindow(cover);
  covers_.clear();
  return 0;
}

}  // namespace host::win32
