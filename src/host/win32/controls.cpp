#include "host/win32/controls.h"

#include <algorithm>

#include "host/win32/app_icon.h"
#include "host/win32/dyn_api.h"
#include "host/win32/fonts.h"
#include "host/win32/image_window.h"
#include "host/win32/wide.h"

namespace host::win32 {

namespace {

HWND CreateChild(const wchar_t* className, const Text& caption, DWORD style, RectPx rect, HWND form,
                 int id) {
  style |= WS_CHILD | WS_CLIPSIBLINGS;
  return CreateWindowExW(0, className, W(caption), style, rect.left, rect.top, rect.width,
                         rect.height, form, reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)),
                         GetModuleHandleW(nullptr), nullptr);
}

// A line is a thin static control that the form fills with the line's
// colour (WM_CTLCOLORSTATIC). The lines of our forms are horizontal or
// vertical, so its rectangle is the line.
RectPx LineRect(const ControlSpec& desc) {
  int thickness = std::max(desc.lineWidth, 1);
  RectPx r = desc.rect;
  if (r.width < 0) r.left += r.width, r.width = -r.width;
  if (r.height < 0) r.top += r.height, r.height = -r.height;
  r.width = std::max(r.width, thickness);
  r.height = std::max(r.height, thickness);
  return r;
}

HWND CreateStandard(FormWindow& form, const ControlSpec& desc, int id) {
  DWORD visible = desc.visible ? WS_VISIBLE : 0;
  HWND parent = form.Handle();
  switch (desc.kind) {
    case ControlKind::Button:
      return CreateChild(L"BUTTON", desc.caption,
                         visible | WS_TABSTOP | (desc.isDefault ? BS_DEFPUSHBUTTON : BS_PUSHBUTTON),
                         desc.rect, parent, id);
    case ControlKind::Label:
      // No SS_NOTIFY: like the forms' own labels, a label lets the mouse
      // through to the form. No access keys: "&" is shown as it is.
      return CreateChild(L"STATIC", desc.caption, visible | SS_LEFT | SS_NOPREFIX, desc.rect,
                         parent, id);
    case ControlKind::PictureBox: {
      DWORD style = visible | (desc.appIcon ? SS_ICON : SS_LEFT);
      HWND box = CreateChild(L"STATIC", {}, style, desc.rect, parent, id);
      if (box && desc.appIcon)  // the control takes the icon's size
        SendMessageW(box, STM_SETIMAGE, IMAGE_ICON,
                     reinterpret_cast<LPARAM>(AppIcon(MetricForDpi(SM_CXICON, form.Dpi()))));
      return box;
    }
    case ControlKind::Line:
      return CreateChild(L"STATIC", {}, visible | SS_LEFT, LineRect(desc), parent, id);
    case ControlKind::Image:
      break;
  }
  return nullptr;
}

}  // namespace

HWND CreateControlWindow(Events& events, FormWindow& form, const ControlSpec& desc) {
  int id = form.NextControlId();
  HWND control = desc.kind == ControlKind::Image
                     ? ImageWindow::Create(events, form.Handle(), desc, id)
                     : CreateStandard(form, desc, id);
  if (!control) return nullptr;
  if (desc.kind == ControlKind::Button || desc.kind == ControlKind::Label)
    SendMessageW(control, WM_SETFONT, reinterpret_cast<WPARAM>(FontFor(desc.font, form.Dpi())),
                 FALSE);
  form.AddControl(control, desc);
  return control;
}

}  // namespace host::win32
