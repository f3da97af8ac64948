// A simulated desktop for the tests: a virtual clock the test advances, a
// scripted screen, files and registry, injected input, and a log of every
// call the toolkit and the forms make, in order.
#pragma once

#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "host/os.h"
#include "host/toolkit.h"

namespace sim {

using host::Text;
using host::WindowId;

// Thrown by ExitProcess: the simulated process has ended. The test-side
// input methods catch it and report it through Exited().
struct ProcessExit : host::HostUnwind {};
// A modal loop needed input and the test had queued none.
struct ModalStarved : host::HostUnwind {};
// A load waits for a decode that never ends, and no input will ever come.
struct LoadStarved : host::HostUnwind {};

struct Window {
  WindowId id = 0;
  WindowId parent = 0;  // the form of a control
  std::string className;
  Text text;
  bool isForm = false;
  host::FormSpec form;
  host::ControlSpec control;
  host::RectPx bounds;  // forms: on the screen; controls: in the form's client
  bool visible = false;
  bool enabled = true;
  bool topmost = false;
  bool maximized = false;
  bool destroyed = false;
  bool ownedByProgram = true;
  WindowId coverOf = 0;  // a cover window on another monitor: the form it belongs to
  std::uint32_t backColor = host::kSystemColor;
  host::Picture picture;
  bool stretch = false;
  std::uintptr_t imeContext = 0;
};

struct RegistryValue {
  std::uint32_t type = 1;
  std::vector<std::uint8_t> data;
};

struct RegistryKey {
  std::map<std::string, RegistryValue> values;  // value names upper-cased
  bool writable = true;  // false: an open that asks for write rights is denied
};

struct File {
  std::string content;
  bool directory = false;
  bool hidden = false;
  std::uint64_t writeTime = 0;
  std::uint64_t fileIndex = 0;   // another file renamed over this one has another
  std::uint64_t changeTime = 0;  // any write or rename sets a new one
  std::uint64_t openMs = 0;      // the file system's time to open it (a slow share)
  bool sharedAway = false;       // held by another program without sharing: opens fail
};

struct MessageBoxCall {
  Text text;
  Text caption;
  unsigned flags = 0;
};

// A picture in the simulated file system is a file whose content is
// "SIMPIC <width> <height>", optionally followed by the milliseconds of
// processor time its decode takes, by "hang" (a decode that never
// returns) or by "nomem" (a picture for which the image control finds no
// memory the first time it is given it); anything else does not decode.
std::string PictureFile(int width, int height);
std::string SlowPictureFile(int width, int height, std::uint64_t decodeMs);
std::string HangingPictureFile(int width, int height);

// A decoded picture, with the size its load was told it will be painted at.
class SimPicture final : public host::PictureData {
 public:
  SimPicture(int width, int height, std::optional<host::SizePx> painted, bool noMemory)
      : width_(width), height_(height), painted_(painted), noMemory_(noMemory) {}
  int WidthPx() const override { return width_; }
  int HeightPx() const override { return height_; }
  std::optional<host::SizePx> PaintedSize() const { return painted_; }
  bool TakeNoMemory() const { return std::exchange(noMemory_, false); }

 private:
  int width_;
  int height_;
  std::optional<host::SizePx> painted_;
  mutable bool noMemory_;
};

class SimOs final : public host::Os {
 public:
  SimOs();

  // ---- the scripted environment, set before the program starts
  Text commandArguments;
  bool anotherInstance = false;
  Text exePath = u"C:\\WINDOWS\\zarvo.scr";
  host::VersionInfo version{u"ZARVO", 1, 0, 0, u"Test Company", u"(C) Test  All rights reserved."};
  int dpi = 96;
  std::vector<host::RectPx> monitors{{0, 0, 800, 600}};
  std::map<Text, File> files;                      // full paths, compared exactly
  std::map<std::string, RegistryKey> registry;     // "HKLM\PATH\OF\KEY", upper case
  std::deque<std::function<void()>> modalActions;  // run one at a time by modal loops
  bool refuseWindows = false;                      // CreateForm fails

  // ---- the desktop as the program left it
  int cursorCount = 0;  // the pointer shows while it is 0 or more
  bool screenSaveActive = false;
  std::uint64_t now = 0;  // virtual milliseconds since the start
  std::vector<std::string> log;
  bool logging = true;  // long runs that do not read the log may switch it off
  std::vector<MessageBoxCall> messageBoxes;
  std::vector<Text> launched;  // paths Shell started
  int openRegistryKeys = 0;

  // ---- test-side input; each is delivered as the operating system would
  WindowId AddTrayWindow();        // a stand-in task bar: "Shell_traywnd", empty title, shown
  void Advance(std::uint64_t ms);  // fires due timers in order
  void MouseMove(WindowId window, double x, double y, int button = 0, int shift = 0);
  void MouseDown(WindowId window, double x, double y, int button = 1, int shift = 0);
  void KeyDown(WindowId window, int keyCode, int shift = 0);
  void Click(WindowId button);
  void ChooseMenu(WindowId form, int menuId);
  void Close(WindowId form);  // the system asks the window to close
  void EndSession();
  // Input that arrives at virtual time `at`: Advance delivers it in time
  // order with the timers; a load waiting meanwhile sees the presses.
  void KeyDownAt(std::uint64_t at, WindowId window, int keyCode);
  void MouseDownAt(std::uint64_t at, WindowId window, double x, double y);
  void MouseMoveAt(std::uint64_t at, WindowId window, double x, double y);
  // The process stops for `ms` from `at` (suspended, or the machine asleep):
  // none of its threads runs, and its timers and input wait for it.
  void SuspendAt(std::uint64_t at, std::uint64_t ms);
  // Other programs keep every processor busy from `from` to `to`: a thread
  // below the normal priority gets no time meanwhile.
  void BusyBetween(std::uint64_t from, std::uint64_t to);
  // Runs `body` as the process's start (Main inside a Program).
  void Start(const std::function<void()>& body);

  bool Exited() const { return exited_; }
  // Decoding threads still running, and the file bytes held by loads that
  // are running or still referenced.
  int RunningDecodes() const;
  std::uint64_t HeldDecodeBytes() const;

  // ---- lookups
  Window* Find(WindowId id);
  // The program's live windows: forms with this caption, controls by name.
  std::vector<Window*> Forms();
  Window* FormByCaption(const Text& caption);
  Window* Control(WindowId form, const std::string& name);
  std::vector<Window*> Covers(WindowId form);
  // The log entries of the named calls only, in order.
  std::vector<std::string> Calls(const std::vector<std::string>& names) const;

  // ---- host::Os
  void SetEventSink(host::EventSink* sink) override { sink_ = sink; }
  Text CommandArguments() override;
  bool AnotherInstanceRunning() override;
  Text ExePath() override;
  host::VersionInfo Version() override;
  [[noreturn]] void ExitProcess() override;
  bool OnInterfaceThread() override;
  void GuardHiddenWindow(WindowId window) override;
  void DismissGuard() override;
  int Dpi() override;
  std::vector<host::RectPx> Monitors() override;
  WindowId CreateForm(const host::FormSpec& desc) override;
  WindowId CreateControl(WindowId form, const host::ControlSpec& desc) override;
  void DestroyWindow(WindowId window) override;
  void SetVisible(WindowId window, bool visible) override;
  void SetBounds(WindowId window, host::RectPx bounds) override;
  host::RectPx Bounds(WindowId window) override;
  host::RectPx ClientRect(WindowId form) override;
  void SetText(WindowId window, const Text& text) override;
  void SetBackColor(WindowId form, std::uint32_t color) override;
  void Maximize(WindowId form) override;
  void SetEnabled(WindowId window, bool enabled) override;
  void SetFocus(WindowId window) override;
  void Refresh(WindowId window) override;
  void SetImage(WindowId image, host::Picture picture, bool stretch) override;
  int StartTimer(WindowId form, unsigned intervalMs) override;
  void StopTimer(WindowId form, int timerId) override;
  void RunMessageLoop() override;
  void RunModalLoop(const std::function<bool()>& done) override;
  int MessageBox(const Text& text, const Text& caption, unsigned flags) override;
  std::shared_ptr<host::PictureLoad> BeginLoadPicture(const host::LoadRequest& request) override;
  std::shared_ptr<host::PictureLoad> BeginPreparePicture(const host::LoadRequest& request) override;
  host::LoadWait WaitForLoad(host::PictureLoad& load, unsigned ms) override;
  bool IsNormalFile(const Text& path) override;
  std::uint32_t Shell(const Text& path, int windowStyle) override;
  std::string ToAnsi(const Text& text) override;
  Text FromAnsi(std::string_view bytes) override;
  std::int32_t SystemParametersInfoA(std::uint32_t action, std::uint32_t param, const char* pvParam,
                                     std::uint32_t winIni) override;
  std::int32_t ShowCursor(std::int32_t show) override;
  std::uintptr_t ImmAssociateContext(WindowId window, std::uintptr_t context) override;
  WindowId FindWindowA(const std::string& className, const std::string& windowName) override;
  std::int32_t SetWindowPos(WindowId window, std::intptr_t insertAfter, int x, int y, int cx,
                            int cy, std::uint32_t flags) override;
  std::int32_t RegOpenKeyExA(std::uint32_t root, const std::string& subKey, std::uint32_t options,
                             std::uint32_t access, host::RegKey* result) override;
  std::int32_t RegQueryValueExA(host::RegKey key, const std::string& valueName, std::uint32_t* type,
                                std::uint8_t* data, std::uint32_t* size) override;
  std::int32_t RegCloseKey(host::RegKey key) override;

  WindowId focus = 0;

 private:
  struct TimerState {
    WindowId form;
    int id;
    unsigned interval;
    std::uint64_t due;
  };
  struct Scheduled {
    std::uint64_t at;
    bool press;  // a key or a button: it interrupts a load
    std::function<void()> deliver;
  };
  class Load;
  struct Span {
    std::uint64_t from, to;
  };
  struct Run {
    std::uint64_t at;   // when it stopped
    std::uint64_t ran;  // processor time it had
  };
  template <class... Args>
  void Log(const std::string& name, const Args&... args);
  void Schedule(std::uint64_t at, bool press, std::function<void()> deliver);
  void LogLoad(const std::string& name, const host::LoadRequest& request);
  std::shared_ptr<Load> StartDecode(const host::LoadRequest& request, bool urgent);
  Run RunThread(std::uint64_t from, std::uint64_t until, std::uint64_t work, bool urgent) const;
  std::uint64_t Resumed(std::uint64_t at) const;
  void Deliver(const std::function<void()>& event);
  bool TakesInput(WindowId window);
  WindowId FirstTabStop(WindowId form);
  WindowId NewId() { return nextId_ += 0x10; }
  int FrameHeight(const Window& form) const;
  int FrameWidth(const Window& form) const;

  host::EventSink* sink_ = nullptr;
  std::map<WindowId, Window> windows_;
  std::vector<TimerState> timers_;
  std::vector<Scheduled> scheduled_;
  std::vector<std::shared_ptr<Load>> loads_;  // as the decoding threads hold them
  std::vector<Span> suspended_;
  std::vector<Span> busy_;
  std::thread::id interfaceThread_ = std::this_thread::get_id();
  std::map<host::RegKey, std::string> openKeys_;
  WindowId nextId_ = 0x10000;
  int nextTimer_ = 0;
  host::RegKey nextKey_ = 0x100;
  bool exited_ = false;
  int depth_ = 0;
};

}  // namespace sim
