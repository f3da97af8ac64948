// The form toolkit: the application and screen objects, forms and their
// controls, and the statements the program's logic calls (Load, Show,
// Unload, End, MsgBox, LoadPicture, Shell, Dir).
//
// One object a window: a form class derives from Form, holds its controls
// as members and overrides the handlers it needs. Event handlers run one at
// a time on the interface thread; a run-time error no trap catches is
// reported by a message box and ends the program.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "host/os.h"
#include "host/runtime.h"
#include "host/text.h"

namespace host {

class Form;

// ---------------------------------------------------------------- controls

class Control {
 public:
  Control(Form& form, ControlSpec desc);
  Control(const Control&) = delete;
  Control& operator=(const Control&) = delete;
  virtual ~Control() = default;

  const std::string& Name() const { return spec_.name; }
  WindowId Window() const { return window_; }
  bool Visible() const { return spec_.visible; }
  void SetVisible(bool visible);

 protected:
  friend class Form;
  friend class Toolkit;
  Form& form_;
  ControlSpec spec_;  // design-time values, kept up to date at run time
  WindowId window_ = 0;
};

// A control with a caption: label, button.
class CaptionControl : public Control {
 public:
  using Control::Control;
  const Text& Caption() const { return spec_.caption; }
  void SetCaption(const Text& caption);
  std::function<void()> onClick;
};
using Label = CaptionControl;
using Button = CaptionControl;

class Image : public Control {
 public:
  explicit Image(Form& form, std::string name, RectPx designRect = {});
  const Picture& GetPicture() const { return picture_; }
  void SetPicture(Picture picture);
  bool Stretch() const { return stretch_; }
  void SetStretch(bool stretch);
  // Positions and sizes in the form's scale units, kept exactly as set.
  float Left() const { return left_; }
  float Top() const { return top_; }
  float Width() const { return width_; }
  float Height() const { return height_; }
  void SetLeft(float value);
  void SetTop(float value);
  void SetWidth(float value);
  void SetHeight(float value);

  std::function<void(std::int16_t, std::int16_t, float, float)> onMouseDown;
  std::function<void(std::int16_t, std::int16_t, float, float)> onMouseMove;

 private:
  void Place();
  Picture picture_;
  bool stretch_ = false;
  float left_ = 0, top_ = 0, width_ = 0, height_ = 0;
};

class PictureBox : public Control {
 public:
  using Control::Control;
};

class Line : public Control {
 public:
  using Control::Control;
};

class MenuItem {
 public:
  MenuItem(Form& form, std::string name, Text caption, MenuItem* parent = nullptr);
  const std::string& Name() const { return name_; }
  int Id() const { return id_; }
  std::function<void()> onClick;

 private:
  friend class Form;
  std::string name_;
  int id_;
};

class Timer {
 public:
  Timer(Form& form, unsigned intervalMs);
  unsigned Interval() const { return intervalMs_; }
  std::function<void()> onTimer;

 private:
  friend class Form;
  friend class Toolkit;
  unsigned intervalMs_;
  int id_ = 0;
};

// ------------------------------------------------------------------- forms

enum class ScaleMode { Twips = 1, Pixels = 3 };

// Window states, as the runtime numbers them.
inline constexpr int vbNormal = 0;
inline constexpr int vbMaximized = 2;

// A form as it is built: its window (the client size is taken from the
// twips below), the units of its scale and its initial window state.
// Control rectangles are given in the form's scale units.
struct FormDesign {
  FormSpec window;
  ScaleMode scaleMode = ScaleMode::Twips;
  int clientWidthTwips = 0;
  int clientHeightTwips = 0;
  int windowState = vbNormal;
};

class Form {
 public:
  explicit Form(FormDesign design);
  Form(const Form&) = delete;
  Form& operator=(const Form&) = delete;
  virtual ~Form();

  // Handlers; a form overrides those it has.
  virtual void Form_Load() {}
  virtual void Form_Unload(std::int16_t& /*cancel*/) {}
  virtual void Form_KeyDown(std::int16_t /*keyCode*/, std::int16_t /*shift*/) {}
  virtual void Form_MouseDown(std::int16_t /*button*/, std::int16_t /*shift*/, float /*x*/,
                              float /*y*/) {}
  virtual void Form_MouseMove(std::int16_t /*button*/, std::int16_t /*shift*/, float /*x*/,
                              float /*y*/) {}
  // Runs when the program ends while the form is still loaded (End, the
  // session ending, a fault): the last chance to give back what the form
  // took. After a fault it may run on any thread, at most once.
  virtual void Form_Ending() {}

  bool IsLoaded() const { return window_ != 0; }
  bool IsVisible() const { return IsLoaded() && visible_; }
  WindowId hWnd() const;

  Text Caption() const { return caption_; }
  void SetCaption(const Text& caption);
  // Outer size in twips.
  float Width() const;
  float Height() const;
  void SetWidth(float twips);
  void SetHeight(float twips);
  std::uint32_t BackColor() const { return backColor_; }
  void SetBackColor(std::uint32_t color);
  int WindowState() const { return windowState_; }
  void SetWindowState(int state);
  bool AutoRedraw() const { return autoRedraw_; }
  void SetAutoRedraw(bool value) { autoRedraw_ = value; }
  // Client size in the form's scale units.
  float ScaleWidth() const;
  float ScaleHeight() const;
  void Refresh();
  void SetFocus();

  // Scale units of this form <-> pixels.
  double ToPixels(double scaleUnits) const;
  double FromPixels(double pixels) const;

 private:
  friend class Control;
  friend class Image;
  friend class MenuItem;
  friend class Timer;
  friend class Toolkit;
  friend void Load(Form& form);
  friend void Show(Form& form, int modal);
  friend void Unload(Form& form);
  void Create();
  void Destroy();
  void ShowWindow(bool visible);
  RectPx ToPixelRect(double left, double top, double width, double height) const;

  FormDesign design_;
  std::vector<Control*> controls_;
  std::vector<MenuItem*> menus_;
  std::vector<Timer*> timers_;
  WindowId window_ = 0;
  bool visible_ = false;
  Text caption_;
  std::uint32_t backColor_;
  int windowState_ = vbNormal;
  bool autoRedraw_ = false;
  bool unloading_ = false;
};

// ------------------------------------------------- application and screen

class AppObject {
 public:
  Text Path() const;  // the executable's folder; ends in "\" only at a drive root
  Text EXEName() const;
  Text Title() const;
  std::int16_t Major() const;
  std::int16_t Minor() const;
  std::int16_t Revision() const;
  Text CompanyName() const;
  Text LegalCopyright() const;
  bool PrevInstance() const;
};

class ScreenObject {
 public:
  float Width() const;  // twips, the primary monitor
  float Height() const;
  float TwipsPerPixelX() const;
  float TwipsPerPixelY() const;
};

AppObject App();
ScreenObject Screen();

// ------------------------------------------------------------- statements

Text Command();
void Load(Form& form);
enum ShowMode { vbModeless = 0, vbModal = 1 };
void Show(Form& form, int modal = vbModeless);
void Unload(Form& form);
[[noreturn]] void End();

// Message box buttons and icons, as the runtime numbers them.
inline constexpr unsigned vbOKOnly = 0;
inline constexpr unsigned vbCritical = 16;
int MsgBox(const Text& prompt, unsigned buttons = vbOKOnly,
           const std::optional<Text>& title = std::nullopt);
Picture LoadPicture(const Text& path);
// Reads and decodes the picture at `path` in the background, for a later
// LoadPicture of the same file; raises nothing. `paintedSize`, called on
// another thread, tells the size in pixels the picture will be painted at,
// so that it is scaled to that size ahead too.
void PreparePicture(const Text& path, PaintedSize paintedSize = {});
// How many whole pixels a control covers on an axis of a form that
// measures in pixels, from `start` over `length`: its edges are rounded
// each to the nearest pixel.
int PixelSpan(double start, double length);
// Starts the program at `path` and returns its process id. An empty path,
// a path with a double quote or a style not among the vb* styles of
// host/os.h raise "invalid argument" before anything is started.
std::uint32_t Shell(const Text& path, int windowStyle);
Text Dir(const Text& path);

// The operating system under the toolkit, for the forms' direct calls.
Os& TheOs();
// Whether the caller runs on the thread of the forms' handlers.
bool OnInterfaceThread();

// For a fault that ends the process (any thread, even one of the
// backend's): gives each loaded form its Form_Ending if the program has
// not ended yet. Safe to call with no program running.
void GiveBackAfterFault() noexcept;

class Toolkit;

// One run of the program on an operating system. While it exists the
// statements above act on `os`, and `os` reports its events to it.
class Program {
 public:
  explicit Program(Os& os);
  Program(const Program&) = delete;
  Program& operator=(const Program&) = delete;
  ~Program();
  // Calls the start-up procedure under the toolkit's rules; with no form
  // loaded afterwards, the program ends.
  void RunMain(const std::function<void()>& main);

 private:
  std::unique_ptr<Toolkit> toolkit_;
};

// The whole life of the process: the start-up procedure, then the message
// loop until the program ends; should the loop end on its own, End.
[[noreturn]] void RunProgram(Os& os, const std::function<void()>& main);

}  // namespace host
