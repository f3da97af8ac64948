// Form1: the saver window. It covers the screen in black, takes the pointer,
// the input method and the task bar away while it runs, shows the picture
// cycle, and gives everything back when a key, a click or a large enough
// mouse movement ends it.
#pragma once

#include <atomic>
#include <cstdint>

#include "host/toolkit.h"
#include "saver/picture_rules.h"

namespace saver {

class Form1 : public host::Form {
 public:
  Form1();

  void Form_Load() override;
  void Form_Unload(std::int16_t& cancel) override;
  void Form_KeyDown(std::int16_t keyCode, std::int16_t shift) override;
  void Form_MouseDown(std::int16_t button, std::int16_t shift, float x, float y) override;
  void Form_MouseMove(std::int16_t button, std::int16_t shift, float x, float y) override;
  void Form_Ending() override;
  void Image1_MouseDown(std::int16_t button, std::int16_t shift, float x, float y);
  void Image1_MouseMove(std::int16_t button, std::int16_t shift, float x, float y);
  void Timer1_Timer();

  host::Timer Timer1;
  host::Image Image1;

  // Per-run members; all zero when the form is created.
  host::Boolean16 FirstMouseMove = host::kFalse;
  float MouseStartX = 0;
  float MouseStartY = 0;
  std::uintptr_t SavedImeContext = 0;
  host::WindowId TrayWindow = 0;
  std::int16_t PictureIndex = 0;
  std::int16_t PictureCount = 0;

 private:
  void CloseSaver();
  void MouseRule(float x, float y);
  void ShowNextPicture();
  void PlaceImage(const PicturePlacement& placement, double screenWidth, double screenHeight);
  static host::PaintedSize PaintedSizeRule(double screenWidth, double screenHeight);
  void RestoreDesktop();

  // What the load handler took from the desktop and has not given back yet,
  // so that every way of ending gives each back exactly once, even when a
  // fault on another thread meets an ordinary end.
  std::atomic<bool> cursorHidden_{false};
  std::atomic<bool> imeDetached_{false};
  std::atomic<bool> trayHidden_{false};
};

}  // namespace saver
