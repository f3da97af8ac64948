#include "saver/form1.h"

#include "host/win_constants.h"

namespace saver {

using host::Trap;
namespace win = host::win;

namespace {

constexpr unsigned kPictureInterval = 20000;  // ms
constexpr std::uint32_t kNoSizeNoMove = win::kSwpNoSize | win::kSwpNoMove;
constexpr float kMouseTolerance = 5.0f;

host::FormDesign Design() {
  host::FormDesign design;
  design.window.caption = u"Form1";
  design.window.border = host::BorderStyle::None;
  design.window.showInTaskbar = false;
  design.window.controlBox = false;
  design.window.startUp = host::StartUpPosition::WindowsDefault;
  design.window.backColor = 0;
  design.window.coverOtherMonitors = true;
  design.window.refusesScreenSaver = true;
  design.scaleMode = host::ScaleMode::Pixels;
  design.clientWidthTwips = 4680;
  design.clientHeightTwips = 3195;
  design.windowState = host::vbMaximized;
  return design;
}

}  // namespace

Form1::Form1() : host::Form(Design()), Timer1(*this, kPictureInterval), Image1(*this, "Image1") {
  Timer1.onTimer = [this] { Timer1_Timer(); };
  Image1.onMouseDown = [this](std::int16_t b, std::int16_t s, float x, float y) {
    Image1_MouseDown(b, s, x, y);
  };
  Image1.onMouseMove = [this](std::int16_t b, std::int16_t s, float x, float y) {
    Image1_MouseMove(b, s, x, y);
  };
}

void Form1::Form_Load() {
  Trap([this] {
    host::Os& os = host::TheOs();
    SetWidth(host::Screen().Width());
    SetHeight(host::Screen().Height());
    SetBackColor(0);
    static const char kNoText[1] = {'\0'};  // a pointer to a NUL, not a null pointer
    os.SystemParametersInfoA(win::kSpiSetScreenSaveActive, static_cast<std::uint32_t>(-1), kNoText,
                             0);
    os.ShowCursor(0);
    cursorHidden_ = true;
    SavedImeContext = os.ImmAssociateContext(hWnd(), 0);
    imeDetached_ = true;
    TrayWindow = os.FindWindowA(os.ToAnsi(u"Shell_traywnd"), os.ToAnsi(u""));
    os.GuardHiddenWindow(TrayWindow);
    os.SetWindowPos(TrayWindow, 0, 0, 0, 0, 0, win::kSwpHideWindow);
    trayHidden_ = true;
    os.SetWindowPos(hWnd(), win::kHwndTopMost, 0, 0, 0, 0, kNoSizeNoMove);
    Refresh();
    PictureIndex = 1;
    PictureCount = 50;
    ShowNextPicture();
    FirstMouseMove = host::kTrue;
  });
}

void Form1::Form_Unload(std::int16_t& /*cancel*/) {
  Trap([this] {
    RestoreDesktop();
    host::End();
  });
}

// The program ends some other way (the session ends, End elsewhere, a
// fault) while the saver is loaded: the desktop still comes back.
void Form1::Form_Ending() { RestoreDesktop(); }

// The pointer's show count and the input method belong to the interface
// thread; from a fault on any other thread only the task bar can be given
// back, and the process's end releases the rest. The task bar's guard is
// dismissed only once it is shown: a process ended in between is still
// covered.
void Form1::RestoreDesktop() {
  host::Os& os = host::TheOs();
  const bool ownThread = host::OnInterfaceThread();
  if (ownThread && cursorHidden_.exchange(false)) os.ShowCursor(-1);
  if (ownThread && imeDetached_.exchange(false)) {
    SavedImeContext = os.ImmAssociateContext(hWnd(), SavedImeContext);
  }
  if (trayHidden_.exchange(false)) {
    os.SetWindowPos(TrayWindow, 0, 0, 0, 0, 0, win::kSwpShowWindow);
    os.DismissGuard();
  }
}

void Form1::Form_KeyDown(std::int16_t, std::int16_t) {
  Trap([this] { CloseSaver(); });
}

void Form1::Form_MouseDown(std::int16_t, std::int16_t, float, float) {
  Trap([this] { CloseSaver(); });
}

void Form1::Image1_MouseDown(std::int16_t, std::int16_t, float, float) {
  Trap([this] { CloseSaver(); });
}

void Form1::Form_MouseMove(std::int16_t, std::int16_t, float x, float y) {
  Trap([&] { MouseRule(x, y); });
}

void Form1::Image1_MouseMove(std::int16_t, std::int16_t, float x, float y) {
  Trap([&] { MouseRule(x, y); });
}

void Form1::CloseSaver() { host::Unload(*this); }

// The first move after arming records the baseline; after that the saver
// closes only when the pointer is more than 5 pixels away on both axes.
void Form1::MouseRule(float x, float y) {
  if (FirstMouseMove != host::kFalse) {
    FirstMouseMove = host::kFalse;
    MouseStartX = x;
    MouseStartY = y;
    return;
  }
  const float highX = host::ToSingle(double{MouseStartX} + kMouseTolerance);
  const float lowX = host::ToSingle(double{MouseStartX} - kMouseTolerance);
  const float highY = host::ToSingle(double{MouseStartY} + kMouseTolerance);
  const float lowY = host::ToSingle(double{MouseStartY} - kMouseTolerance);
  const bool nearX = lowX <= x && x <= highX;
  const bool nearY = lowY <= y && y <= highY;
  if (!nearX && !nearY) CloseSaver();
}

void Form1::Timer1_Timer() {
  Trap([this] {
    host::TheOs().SetWindowPos(hWnd(), win::kHwndTopMost, 0, 0, 0, 0, kNoSizeNoMove);
    SetFocus();
    ShowNextPicture();
  });
}

// Loads the next file of the cycle into Image1, fitted and centred. Any
// failure leaves Image1 hidden until the next tick; the index has advanced
// by then, so a bad file costs one interval and the cycle goes on. Either
// way the file after it is decoded while this one shows, so that the next
// tick only has to show it.
void Form1::ShowNextPicture() {
  Trap([this] {
    SetAutoRedraw(true);
    Image1.SetVisible(false);
    Image1.SetStretch(false);
    const host::Text path = PictureFileName(host::App().Path(), PictureIndex);
    const std::int16_t next = host::AddInt16(PictureIndex, 1);
    PictureIndex = next > PictureCount ? std::int16_t{1} : next;
    Image1.SetPicture(host::LoadPicture(path));
    const double screenWidth = ScaleWidth();
    const double screenHeight = ScaleHeight();
    const float height = Image1.Height();
    const float width = Image1.Width();
    PlaceImage(FitPicture(screenWidth, screenHeight, width, height), screenWidth, screenHeight);
    Image1.SetVisible(true);
    FirstMouseMove = host::kTrue;
  });
  Trap([this] {
    host::PreparePicture(PictureFileName(host::App().Path(), PictureIndex),
                         PaintedSizeRule(ScaleWidth(), ScaleHeight()));
  });
}

// The size Image1 will have for a picture of a given natural size, as
// PlaceImage leaves it: for the picture prepared ahead to be scaled to.
// Called on the loader's thread, it works on copies alone.
host::PaintedSize Form1::PaintedSizeRule(double screenWidth, double screenHeight) {
  return [screenWidth, screenHeight](host::SizePx natural) -> std::optional<host::SizePx> {
    const PicturePlacement placed =
        FitPicture(screenWidth, screenHeight, static_cast<float>(natural.width),
                   static_cast<float>(natural.height));
    return host::SizePx{host::PixelSpan(placed.Left, placed.Width),
                        host::PixelSpan(placed.Top, placed.Height)};
  };
}

// Applies a placement in the order the image control expects; the centring
// follows the size the control reports back.
void Form1::PlaceImage(const PicturePlacement& placement, double screenWidth, double screenHeight) {
  using host::ToSingle;
  switch (placement.fit) {
    case Fit::NaturalSize:
      Image1.SetStretch(false);
      Image1.SetLeft(ToSingle((screenWidth - Image1.Width()) / 2));
      Image1.SetTop(ToSingle((screenHeight - Image1.Height()) / 2));
      break;
    case Fit::ToWidth:
      Image1.SetStretch(true);
      Image1.SetWidth(placement.Width);
      Image1.SetHeight(placement.Height);
      Image1.SetLeft(0);
      Image1.SetTop(ToSingle((screenHeight - Image1.Height()) / 2));
      break;
    case Fit::ToHeight:
      Image1.SetStretch(true);
      Image1.SetHeight(placement.Height);
      Image1.SetWidth(placement.Width);
      Image1.SetLeft(ToSingle((screenWidth - Image1.Width()) / 2));
      Image1.SetTop(0);
      break;
  }
}

}  // namespace saver
