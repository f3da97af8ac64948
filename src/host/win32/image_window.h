// The image control: a child window that shows a picture at its natural size
// or scaled to the control. The picture is scaled once for the control's
// current size and kept as a bitmap, so a repaint is one BitBlt.
#pragma once

#include "host/win32/windows_api.h"

#include "host/os.h"
#include "host/win32/colors.h"
#include "host/win32/form_window.h"
#include "host/win32/window.h"

namespace host::win32 {

class ImageWindow final : public Window {
 public:
  static HWND Create(Events& events, HWND form, const ControlSpec& desc, int id);

  void SetPicture(Picture picture, bool stretch);

 private:
  explicit ImageWindow(Events& events) : events_(events) {}
  ~ImageWindow() override = default;

  LRESULT HandleMessage(UINT message, WPARAM wParam, LPARAM lParam) override;
  LRESULT OnPaint();
  LRESULT OnMouse(UINT message, WPARAM wParam, LPARAM lParam);
  // The bitmap for the current size, made when first needed.
  HBITMAP Rendered(SIZE* size);

  Events& events_;
  Picture picture_;
  bool stretch_ = false;
  Bitmap cache_;
  SIZE cacheSize_{};
};

}  // namespace host::win32
