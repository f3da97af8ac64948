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
RectPx LineRect(const ControlSpec& spec) {
  int thickness = std::max(spec.lineWidth, 1);
  RectPx r = spec.rect;
  if (r.width < 0) r.left += r.width, r.width = -r.width;
  if (r.height < 0) r.top += r.height, r.height = -r.height;
  r.width = std::max(r.width, thickness);
  r.height = std::max(r.height, thickness);
  return r;
}

HWND CreateStandard(FormWindow& form, const ControlSpec& spec, int id) {
  DWORD visible = spec.visible ? WS_VISIBLE : 0;
  HWND parent = form.Handle();
  switch (spec.kind) {
    case ControlKind::Button:
      return CreateChild(L"BUTTON", spec.caption,
                         visible | WS_TABSTOP | (spec.isDefault ? BS_DEFPUSHBUTTON : BS_PUSHBUTTON),
                         spec.rect, parent, id);
    case ControlKind::Label:
      // No SS_NOTIFY: like the forms' own labels, a label lets the mouse
      // through to the form. No access keys: "&" is shown as it is.
      return CreateChild(L"STATIC", spec.caption, visible | SS_LEFT | SS_NOPREFIX, spec.rect,
                         parent, id);
    case ControlKind::PictureBox: {
      DWORD style = visible | (spec.appIcon ? SS_ICON : SS_LEFT);
      HWND box = CreateChild(L"STATIC", {}, style, spec.rect, parent, id);
      if (box && spec.appIcon)  // the control takes the icon's size
        SendMessageW(box, STM_SETIMAGE, IMAGE_ICON,
                     reinterpret_cast<LPARAM>(AppIcon(MetricForDpi(SM_CXICON, form.Dpi()))));
      return box;
    }
    case ControlKind::Line:
      return CreateChild(L"STATIC", {}, visible | SS_LEFT, LineRect(spec), parent, id);
    case ControlKind::Image:
      break;
  }
  return nullptr;
}

}  // namespace

HWND CreateControlWindow(Events& events, FormWindow& form, const ControlSpec& spec) {
  int id = form.NextControlId();
  HWND control = spec.kind == ControlKind::Image
                     ? ImageWindow::Create(events, form.Handle(), spec, id)
                     : CreateStandard(form, spec, id);
  if (!control) return nullptr;
  if (spec.kind == ControlKind::Button || spec.kind == ControlKind::Label)
    SendMessageW(control, WM_SETFONT, reinterpret_cast<WPARAM>(FontFor(spec.font, form.Dpi())),
                 FALSE);
  form.AddControl(control, spec);
  return control;
}

}  // namespace host::win32
