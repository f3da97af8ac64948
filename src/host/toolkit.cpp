#include "host/toolkit.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdlib>
#include <mutex>
#include <new>
#include <stdexcept>
#include <thread>
#include <unordered_map>

#include "host/picture_loader.h"

namespace host {

// The running program: the forms it has loaded and the windows behind them.
// It receives the operating system's events and runs the handlers one at a
// time, under the rule that an error no trap catches ends the program.
class Toolkit final : public EventSink {
 public:
  explicit Toolkit(Os& os) : os_(os), pictures_(os) { os_.SetEventSink(this); }
  Toolkit(const Toolkit&) = delete;
  Toolkit& operator=(const Toolkit&) = delete;
  ~Toolkit() override { os_.SetEventSink(nullptr); }

  Os& os() { return os_; }
  PictureLoader& pictures() { return pictures_; }

  void Register(Form& form) {
    std::lock_guard hold(formsLock_);
    forms_[form.window_] = &form;
    loaded_.push_back(&form);
  }
  void Register(Control& control) { controls_[control.Window()] = &control; }
  void Forget(Form& form) {
    std::lock_guard hold(formsLock_);
    for (Control* control : form.controls_) controls_.erase(control->Window());
    forms_.erase(form.window_);
    std::erase(loaded_, &form);
  }
  const std::vector<Form*>& Loaded() const { return loaded_; }

  // Runs a handler. Whatever escapes it ends the program: a run-time error
  // as the runtime reports it, any other exception as an internal error.
  template <class Handler>
  void Dispatch(Handler&& handler) {
    try {
      handler();
    } catch (const HostUnwind&) {
      throw;
    } catch (const RuntimeError& error) {
      ReportAndEnd(error.code());
    } catch (const std::bad_alloc&) {
      ReportAndEnd(ErrorCode::OutOfMemory);
    } catch (...) {
      ReportAndEnd(ErrorCode::InternalError);
    }
    if (loaded_.empty()) End();
  }

  [[noreturn]] void End() {
    LastWord();
    os_.ExitProcess();
    std::abort();  // not reached: the operating system has ended the process
  }

  // Each loaded form's Form_Ending, once in the life of the program,
  // whichever thread gets here first: a fault may strike any of them. A
  // caller from another thread is about to end the process: it waits for
  // the first to finish, a while at most, in case that one hangs.
  void LastWord() noexcept {
    if (lastWordGiven_.exchange(true)) {
      AwaitLastWord();
      return;
    }
    lastWordThread_ = std::this_thread::get_id();
    {
      std::lock_guard hold(formsLock_);
      // By index, allocating nothing: the heap may be what faulted.
      for (std::size_t i = 0; i < loaded_.size(); ++i) {
        try {
          loaded_[i]->Form_Ending();
        } catch (...) {  // the next form still gets its turn
        }
      }
    }
    lastWordDone_ = true;
  }

  void AwaitLastWord() const noexcept {
    constexpr auto kMostWait = std::chrono::seconds(2);
    if (lastWordThread_.load() == std::this_thread::get_id()) return;  // ending from a Form_Ending
    const auto until = std::chrono::steady_clock::now() + kMostWait;
    while (!lastWordDone_ && std::chrono::steady_clock::now() < until) {
      std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
  }

  // EventSink
  void MouseDown(WindowId window, int button, int shift, double x, double y) override {
    if (Form* form = FormOf(window)) {
      Dispatch([&] {
        form->Form_MouseDown(Int16(button), Int16(shift), Scaled(*form, x), Scaled(*form, y));
      });
    } else if (auto* image = dynamic_cast<Image*>(ControlOf(window)); image && image->onMouseDown) {
      Dispatch([&] {
        image->onMouseDown(Int16(button), Int16(shift), ScaledIn(*image, x), ScaledIn(*image, y));
      });
    }
  }
  void MouseMove(WindowId window, int button, int shift, double x, double y) override {
    if (Form* form = FormOf(window)) {
      Dispatch([&] {
        form->Form_MouseMove(Int16(button), Int16(shift), Scaled(*form, x), Scaled(*form, y));
      });
    } else if (auto* image = dynamic_cast<Image*>(ControlOf(window)); image && image->onMouseMove) {
      Dispatch([&] {
        image->onMouseMove(Int16(button), Int16(shift), ScaledIn(*image, x), ScaledIn(*image, y));
      });
    }
  }
  void KeyDown(WindowId window, int keyCode, int shift) override {
    if (Form* form = FormOf(window)) {
      Dispatch([&] { form->Form_KeyDown(Int16(keyCode), Int16(shift)); });
    }
  }
  void Click(WindowId window) override {
    if (auto* control = dynamic_cast<CaptionControl*>(ControlOf(window));
        control && control->onClick) {
      Dispatch(control->onClick);
    }
  }
  void MenuClick(WindowId window, int menuId) override {
    Form* form = FormOf(window);
    if (!form) return;
    for (MenuItem* item : form->menus_) {
      if (item->Id() == menuId && item->onClick) Dispatch(item->onClick);
    }
  }
  void CloseRequest(WindowId window) override {
    if (Form* form = FormOf(window)) Dispatch([form] { Unload(*form); });
  }
  void Timer(WindowId window, int timerId) override {
    Form* form = FormOf(window);
    if (!form) return;
    for (host::Timer* timer : form->timers_) {
      if (timer->id_ == timerId && timer->onTimer) Dispatch(timer->onTimer);
    }
  }
  void SessionEnding() override { End(); }
  void Fault() override { ReportAndEnd(ErrorCode::InternalError); }

 private:
  Form* FormOf(WindowId window) {
    const auto found = forms_.find(window);
    return found == forms_.end() ? nullptr : found->second;
  }
  Control* ControlOf(WindowId window) {
    const auto found = controls_.find(window);
    return found == controls_.end() ? nullptr : found->second;
  }
  static std::int16_t Int16(int value) { return static_cast<std::int16_t>(value); }
  static float Scaled(const Form& form, double pixels) {
    return static_cast<float>(form.FromPixels(pixels));
  }
  float ScaledIn(const Image& image, double pixels) {
    return static_cast<float>(FormOfControl(image).FromPixels(pixels));
  }
  Form& FormOfControl(const Control& control) { return control.form_; }

  // The desktop comes back, and our windows go, before the message shows:
  // it must not sit over a black screen with the pointer hidden.
  [[noreturn]] void ReportAndEnd(ErrorCode code) {
    LastWord();
    try {
      for (Form* form : std::vector<Form*>(loaded_)) os_.SetVisible(form->window_, false);
      MsgBox(u"実行時エラー '" + Str(static_cast<int>(code)) + u"'", vbCritical);
    } catch (const HostUnwind&) {
      throw;
    } catch (...) {  // nothing is left to tell it with: just end
    }
    End();
  }

  Os& os_;
  PictureLoader pictures_;
  std::vector<Form*> loaded_;  // in the order they were loaded
  std::unordered_map<WindowId, Form*> forms_;
  std::unordered_map<WindowId, Control*> controls_;
  std::recursive_mutex formsLock_;  // loaded_ and forms_, against LastWord from a faulting thread
  std::atomic<bool> lastWordGiven_{false};
  std::atomic<bool> lastWordDone_{false};
  std::atomic<std::thread::id> lastWordThread_{};
};

namespace {

// Read by GiveBackAfterFault from whichever thread faults.
std::atomic<Toolkit*> running{nullptr};

Toolkit& Tk() {
  Toolkit* toolkit = running.load();
  if (toolkit == nullptr) throw std::logic_error("the toolkit is used with no program running");
  return *toolkit;
}

// Pixel positions are whole numbers; a value far off the screen is clamped
// rather than overflowing the conversion.
int PixelOf(double value) {
  constexpr double kLimit = 1 << 30;
  if (std::isnan(value)) return 0;
  return static_cast<int>(std::lround(std::clamp(value, -kLimit, kLimit)));
}

double TwipsToPixels(double twips) { return twips * Tk().os().Dpi() / 1440.0; }
double PixelsToTwips(double pixels) { return pixels * 1440.0 / Tk().os().Dpi(); }

}  // namespace

// ---------------------------------------------------------------- controls

Control::Control(Form& form, ControlSpec desc) : form_(form), spec_(std::move(desc)) {
  form_.controls_.push_back(this);
}

void Control::SetVisible(bool visible) {
  spec_.visible = visible;
  if (window_ != 0) Tk().os().SetVisible(window_, visible);
}

void CaptionControl::SetCaption(const Text& caption) {
  spec_.caption = caption;
  if (window_ != 0) Tk().os().SetText(window_, caption);
}

namespace {
ControlSpec ImageSpec(std::string name, RectPx designRect) {
  ControlSpec desc;
  desc.kind = ControlKind::Image;
  desc.name = std::move(name);
  desc.rect = designRect;
  return desc;
}
}  // namespace

Image::Image(Form& form, std::string name, RectPx designRect)
    : Control(form, ImageSpec(std::move(name), designRect)),
      left_(static_cast<float>(designRect.left)),
      top_(static_cast<float>(designRect.top)),
      width_(static_cast<float>(designRect.width)),
      height_(static_cast<float>(designRect.height)) {}

void Image::SetPicture(Picture picture) {
  picture_ = std::move(picture);
  if (picture_ && !stretch_) {
    width_ = static_cast<float>(form_.FromPixels(picture_->WidthPx()));
    height_ = static_cast<float>(form_.FromPixels(picture_->HeightPx()));
  }
  Tk().os().SetImage(window_, picture_, stretch_);
  Place();
}

void Image::SetStretch(bool stretch) {
  stretch_ = stretch;
  if (picture_ && !stretch_) {  // without stretching the control takes the picture's size again
    width_ = static_cast<float>(form_.FromPixels(picture_->WidthPx()));
    height_ = static_cast<float>(form_.FromPixels(picture_->HeightPx()));
  }
  Tk().os().SetImage(window_, picture_, stretch_);
  Place();
}

void Image::SetLeft(float value) {
  left_ = value;
  Place();
}
void Image::SetTop(float value) {
  top_ = value;
  Place();
}
void Image::SetWidth(float value) {
  width_ = value;
  Place();
}
void Image::SetHeight(float value) {
  height_ = value;
  Place();
}

void Image::Place() {
  if (window_ != 0) Tk().os().SetBounds(window_, form_.ToPixelRect(left_, top_, width_, height_));
}

MenuItem::MenuItem(Form& form, std::string name, Text caption, MenuItem* parent)
    : name_(std::move(name)), id_(static_cast<int>(form.menus_.size()) + 1) {
  form.menus_.push_back(this);
  form.design_.window.menus.push_back(
      MenuItemSpec{.id = id_, .parent = parent ? parent->id_ : -1, .caption = std::move(caption)});
}

Timer::Timer(Form& form, unsigned intervalMs) : intervalMs_(intervalMs) {
  form.timers_.push_back(this);
}

// ------------------------------------------------------------------- forms

Form::Form(FormDesign design)
    : design_(std::move(design)),
      caption_(design_.window.caption),
      backColor_(design_.window.backColor),
      windowState_(design_.windowState) {}

Form::~Form() = default;

WindowId Form::hWnd() const {
  if (!IsLoaded()) throw RuntimeError(ErrorCode::InvalidArgument, "form not loaded");
  return window_;
}

void Form::Create() {
  Os& os = Tk().os();
  FormSpec desc = design_.window;
  desc.caption = caption_;
  desc.backColor = backColor_;
  desc.clientWidth = PixelOf(TwipsToPixels(design_.clientWidthTwips));
  desc.clientHeight = PixelOf(TwipsToPixels(design_.clientHeightTwips));
  window_ = os.CreateForm(desc);
  // A form without a window would keep the program alive with nothing to
  // end it.
  if (window_ == 0) throw RuntimeError(ErrorCode::OutOfMemory, "the form's window");
  Tk().Register(*this);
  for (Control* control : controls_) {
    ControlSpec child = control->spec_;
    const RectPx& r = control->spec_.rect;
    child.rect = ToPixelRect(r.left, r.top, r.width, r.height);
    control->window_ = os.CreateControl(window_, child);
    Tk().Register(*control);
  }
  for (Timer* timer : timers_) {
    if (timer->intervalMs_ > 0) timer->id_ = os.StartTimer(window_, timer->intervalMs_);
  }
}

void Form::Destroy() {
  Os& os = Tk().os();
  for (Timer* timer : timers_) {
    if (timer->id_ != 0) os.StopTimer(window_, timer->id_);
    timer->id_ = 0;
  }
  Tk().Forget(*this);
  os.DestroyWindow(window_);
  for (Control* control : controls_) control->window_ = 0;
  window_ = 0;
  visible_ = false;
}

void Form::ShowWindow(bool visible) {
  visible_ = visible;
  // Maximised before it appears, so it is never seen at its restored size.
  if (visible && windowState_ == vbMaximized) Tk().os().Maximize(window_);
  Tk().os().SetVisible(window_, visible);
}

RectPx Form::ToPixelRect(double left, double top, double width, double height) const {
  const int x = PixelOf(ToPixels(left));
  const int y = PixelOf(ToPixels(top));
  return RectPx{x, y, PixelOf(ToPixels(left + width)) - x, PixelOf(ToPixels(top + height)) - y};
}

double Form::ToPixels(double scaleUnits) const {
  return design_.scaleMode == ScaleMode::Pixels ? scaleUnits : TwipsToPixels(scaleUnits);
}

double Form::FromPixels(double pixels) const {
  return design_.scaleMode == ScaleMode::Pixels ? pixels : PixelsToTwips(pixels);
}

void Form::SetCaption(const Text& caption) {
  caption_ = caption;
  if (IsLoaded()) Tk().os().SetText(window_, caption);
}

float Form::Width() const {
  return static_cast<float>(PixelsToTwips(Tk().os().Bounds(hWnd()).width));
}
float Form::Height() const {
  return static_cast<float>(PixelsToTwips(Tk().os().Bounds(hWnd()).height));
}

void Form::SetWidth(float twips) {
  RectPx bounds = Tk().os().Bounds(hWnd());
  bounds.width = PixelOf(TwipsToPixels(twips));
  Tk().os().SetBounds(window_, bounds);
}

void Form::SetHeight(float twips) {
  RectPx bounds = Tk().os().Bounds(hWnd());
  bounds.height = PixelOf(TwipsToPixels(twips));
  Tk().os().SetBounds(window_, bounds);
}

void Form::SetBackColor(std::uint32_t color) {
  backColor_ = color;
  if (IsLoaded()) Tk().os().SetBackColor(window_, color);
}

void Form::SetWindowState(int state) {
  windowState_ = state;
  if (IsVisible() && state == vbMaximized) Tk().os().Maximize(window_);
}

float Form::ScaleWidth() const {
  return static_cast<float>(FromPixels(Tk().os().ClientRect(hWnd()).width));
}
float Form::ScaleHeight() const {
  return static_cast<float>(FromPixels(Tk().os().ClientRect(hWnd()).height));
}

void Form::Refresh() { Tk().os().Refresh(hWnd()); }
void Form::SetFocus() { Tk().os().SetFocus(hWnd()); }

// ------------------------------------------------- application and screen

namespace {
std::size_t FolderEnd(const Text& path) {
  const std::size_t slash = path.find_last_of(u"\\/");
  return slash == Text::npos ? 0 : slash;
}
}  // namespace

Text AppObject::Path() const {
  const Text exe = Tk().os().ExePath();
  Text folder = exe.substr(0, FolderEnd(exe));
  if (folder.size() == 2 && folder[1] == u':') folder += u'\\';  // a drive root keeps its "\"
  return folder;
}

Text AppObject::EXEName() const {
  const Text exe = Tk().os().ExePath();
  const std::size_t start = FolderEnd(exe) + (exe.find_last_of(u"\\/") == Text::npos ? 0 : 1);
  Text name = exe.substr(start);
  const std::size_t dot = name.find_last_of(u'.');
  return dot == Text::npos ? name : name.substr(0, dot);
}

Text AppObject::Title() const { return Tk().os().Version().title; }
std::int16_t AppObject::Major() const { return Tk().os().Version().major; }
std::int16_t AppObject::Minor() const { return Tk().os().Version().minor; }
std::int16_t AppObject::Revision() const { return Tk().os().Version().revision; }
Text AppObject::CompanyName() const { return Tk().os().Version().companyName; }
Text AppObject::LegalCopyright() const { return Tk().os().Version().legalCopyright; }
bool AppObject::PrevInstance() const { return Tk().os().AnotherInstanceRunning(); }

float ScreenObject::Width() const {
  return static_cast<float>(PixelsToTwips(Tk().os().Monitors().at(0).width));
}
float ScreenObject::Height() const {
  return static_cast<float>(PixelsToTwips(Tk().os().Monitors().at(0).height));
}
float ScreenObject::TwipsPerPixelX() const { return static_cast<float>(PixelsToTwips(1)); }
float ScreenObject::TwipsPerPixelY() const { return static_cast<float>(PixelsToTwips(1)); }

AppObject App() { return {}; }
ScreenObject Screen() { return {}; }

// ------------------------------------------------------------- statements

Text Command() { return Tk().os().CommandArguments(); }

void Load(Form& form) {
  if (form.IsLoaded()) return;
  form.Create();
  form.Form_Load();
}

void Show(Form& form, int modal) {
  Load(form);
  form.ShowWindow(true);
  if (modal != vbModal) return;
  std::vector<Form*> disabled;
  for (Form* other : Tk().Loaded()) {
    if (other == &form) continue;
    Tk().os().SetEnabled(other->window_, false);
    disabled.push_back(other);
  }
  Tk().os().RunModalLoop([&form] { return !form.IsVisible(); });
  for (Form* other : disabled) {
    if (other->IsLoaded()) Tk().os().SetEnabled(other->window_, true);
  }
}

void Unload(Form& form) {
  if (!form.IsLoaded() || form.unloading_) return;
  form.unloading_ = true;
  std::int16_t cancel = 0;
  try {
    form.Form_Unload(cancel);
  } catch (...) {
    form.unloading_ = false;
    throw;
  }
  form.unloading_ = false;
  if (cancel == 0) form.Destroy();
}

void End() { Tk().End(); }

int MsgBox(const Text& prompt, unsigned buttons, const std::optional<Text>& title) {
  return Tk().os().MessageBox(prompt, title.value_or(App().Title()), buttons);
}

Picture LoadPicture(const Text& path) { return Tk().pictures().Load(path); }

void PreparePicture(const Text& path, PaintedSize paintedSize) {
  Tk().pictures().Prepare(path, std::move(paintedSize));
}

int PixelSpan(double start, double length) { return PixelOf(start + length) - PixelOf(start); }

namespace {
bool IsWindowStyle(int windowStyle) {
  switch (windowStyle) {
    case vbHide:
    case vbNormalFocus:
    case vbMinimizedFocus:
    case vbMaximizedFocus:
    case vbNormalNoFocus:
    case vbMinimizedNoFocus:
      return true;
  }
  return false;
}
}  // namespace

// The path goes on the command line in quotes: a quote of its own would end
// it early, and let a different program start.
std::uint32_t Shell(const Text& path, int windowStyle) {
  if (path.empty() || path.find(u'"') != Text::npos)
    throw RuntimeError(ErrorCode::InvalidArgument, "Shell path");
  if (!IsWindowStyle(windowStyle)) throw RuntimeError(ErrorCode::InvalidArgument, "window style");
  return Tk().os().Shell(path, windowStyle);
}

Text Dir(const Text& path) {
  if (!Tk().os().IsNormalFile(path)) return {};
  const std::size_t slash = path.find_last_of(u"\\/");
  return slash == Text::npos ? path : path.substr(slash + 1);
}

Os& TheOs() { return Tk().os(); }

bool OnInterfaceThread() { return Tk().os().OnInterfaceThread(); }

void GiveBackAfterFault() noexcept {
  if (Toolkit* toolkit = running) toolkit->LastWord();
}

// ---------------------------------------------------------------- program

Program::Program(Os& os) : toolkit_(std::make_unique<Toolkit>(os)) {
  if (running != nullptr) throw std::logic_error("a program is already running");
  running = toolkit_.get();
}

Program::~Program() { running = nullptr; }

void Program::RunMain(const std::function<void()>& main) { toolkit_->Dispatch(main); }

void RunProgram(Os& os, const std::function<void()>& main) {
  Program program(os);
  program.RunMain(main);
  os.RunMessageLoop();
  // The loop ended without End (a WM_QUIT from outside, say): the forms
  // still give back what they took, and the process does not linger.
  End();
}

}  // namespace host
