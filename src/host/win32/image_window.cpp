#include "host/win32/image_window.h"

#include <windowsx.h>

#include <exception>

#include "host/win32/wic_picture.h"
#include "host/win32/wide.h"

namespace host::win32 {

namespace {
constexpr wchar_t kImageClass[] = L"ZarvoImage";
}  // namespace

HWND ImageWindow::Create(Events& events, HWND form, const ControlSpec& desc, int id) {
  // Every pixel is painted in WM_PAINT; no class brush, no erasing.
  RegisterClass(kImageClass, nullptr, LoadCursorW(nullptr, IDC_ARROW));
  auto* image = new ImageWindow(events);
  DWORD style = WS_CHILD | WS_CLIPSIBLINGS | (desc.visible ? WS_VISIBLE : 0);
  return image->CreateWindowFor(0, kImageClass, W(desc.caption), style, desc.rect.left,
                                desc.rect.top, desc.rect.width, desc.rect.height, form,
                                reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)));
}

void ImageWindow::SetPicture(Picture picture, bool stretch) {
  picture_ = std::move(picture);
  stretch_ = stretch;
  cache_.Reset();
  InvalidateRect(Handle(), nullptr, FALSE);
}

LRESULT ImageWindow::HandleMessage(UINT message, WPARAM wParam, LPARAM lParam) {
  if (IsMouseInput(message)) return OnMouse(message, wParam, lParam);
  switch (message) {
    case WM_ERASEBKGND:
      return TRUE;  // WM_PAINT covers everything
    case WM_PAINT:
      return OnPaint();
    case WM_SIZE:
      // Scaled pictures are made again for the new size when next painted.
      if (stretch_) cache_.Reset();
      InvalidateRect(Handle(), nullptr, FALSE);
      return 0;
  }
  return Window::HandleMessage(message, wParam, lParam);
}

HBITMAP ImageWindow::Rendered(SIZE* size) {
  if (!picture_) return nullptr;
  RECT client;
  GetClientRect(Handle(), &client);
  SIZE wanted = stretch_ ? SIZE{client.right, client.bottom}
                         : SIZE{picture_->WidthPx(), picture_->HeightPx()};
  if (cache_.Get() && (cacheSize_.cx != wanted.cx || cacheSize_.cy != wanted.cy)) cache_.Reset();
  if (!cache_.Get() && wanted.cx > 0 && wanted.cy > 0) {
    try {
      HBITMAP ready = TakeRenderedBitmap(*picture_, wanted.cx, wanted.cy);
      cache_.Reset(ready ? ready : RenderPictureBitmap(*picture_, wanted.cx, wanted.cy));
    } catch (const std::exception&) {
      // No memory for this size: the control stays black rather than the
      // program ending in the middle of a paint.
    }
    cacheSize_ = wanted;
  }
  *size = cacheSize_;
  return cache_.Get();
}

// One BitBlt of the picture; black wherever the picture does not reach.
LRESULT ImageWindow::OnPaint() {
  PAINTSTRUCT paint;
  HDC dc = BeginPaint(Handle(), &paint);
  SIZE size{};
  if (HBITMAP bitmap = Rendered(&size)) {
    HDC memory = CreateCompatibleDC(dc);
    HGDIOBJ old = SelectObject(memory, bitmap);
    BitBlt(dc, 0, 0, size.cx, size.cy, memory, 0, 0, SRCCOPY);
    SelectObject(memory, old);
    DeleteDC(memory);
    ExcludeClipRect(dc, 0, 0, size.cx, size.cy);
  }
  RECT client;
  GetClientRect(Handle(), &client);
  FillRect(dc, &client, static_cast<HBRUSH>(GetStockObject(BLACK_BRUSH)));
  EndPaint(Handle(), &paint);
  return 0;
}

// The image reports its own mouse input, in its own coordinates.
LRESULT ImageWindow::OnMouse(UINT message, WPARAM wParam, LPARAM lParam) {
  ReportMouse(events_.sink, ToId(Handle()), message, wParam,
              POINT{GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam)});
  return 0;
}

}  // namespace host::win32
