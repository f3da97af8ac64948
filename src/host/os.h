// The one interface between the form toolkit and an operating system.
//
// Two backends implement it: win32/ (the product) and sim/ (a simulated
// desktop for the tests). Everything here is in pixels; twips, scale modes
// and the run-time error rules live in the toolkit above it.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "host/text.h"

namespace host {

using WindowId = std::uintptr_t;  // an HWND on Windows
using RegKey = std::uintptr_t;    // an HKEY on Windows

struct RectPx {
  int left = 0;
  int top = 0;
  int width = 0;
  int height = 0;
  friend bool operator==(const RectPx&, const RectPx&) = default;
};

struct SizePx {
  int width = 0;
  int height = 0;
  friend bool operator==(const SizePx&, const SizePx&) = default;
};

struct VersionInfo {
  Text title;
  std::int16_t major = 0;
  std::int16_t minor = 0;
  std::int16_t revision = 0;
  Text companyName;
  Text legalCopyright;
};

enum class BorderStyle { None = 0, FixedSingle = 1, FixedDialog = 3 };
enum class StartUpPosition { Manual = 0, CenterOwner = 1, CenterScreen = 2, WindowsDefault = 3 };

// Shell's window styles, as the runtime numbers them; 5 is none of them.
inline constexpr int vbHide = 0;
inline constexpr int vbNormalFocus = 1;
inline constexpr int vbMinimizedFocus = 2;
inline constexpr int vbMaximizedFocus = 3;
inline constexpr int vbNormalNoFocus = 4;
inline constexpr int vbMinimizedNoFocus = 6;

inline constexpr std::uint32_t kSystemColor = 0xFFFFFFFFu;  // "use the default colour"

struct FontSpec {
  Text face;  // empty: the toolkit's default font
  int pointSize = 9;
  int weight = 400;
  int charset = 1;  // DEFAULT_CHARSET
};

struct MenuItemSpec {
  int id = 0;       // reported back by EventSink::MenuClick
  int parent = -1;  // id of the menu it belongs to, -1 for a menu-bar title
  Text caption;     // with "&" before the access key
};

struct FormSpec {
  Text caption;
  BorderStyle border = BorderStyle::FixedSingle;
  bool showInTaskbar = true;
  bool minButton = false;
  bool maxButton = false;
  bool controlBox = true;  // system menu and close box in the caption bar
  bool appIcon = false;    // the window icon is the executable's first icon
  StartUpPosition startUp = StartUpPosition::WindowsDefault;
  int clientWidth = 0;  // the frame, caption and menu bar come on top of it
  int clientHeight = 0;
  std::uint32_t backColor = kSystemColor;
  std::vector<MenuItemSpec> menus;
  // Cover windows on the other monitors: plain black, top-most, their input
  // reported as the form's own (see EventSink).
  bool coverOtherMonitors = false;
  // The form turns down the system's request to start the screen saver
  // while it is active: a screen saver's own form does, so that no other
  // starts over it.
  bool refusesScreenSaver = false;
};

enum class ControlKind { Image, Label, Button, PictureBox, Line };

struct ControlSpec {
  ControlKind kind = ControlKind::Label;
  std::string name;  // the control's name, for tests and accessibility tools
  Text caption;
  RectPx rect;  // Line: from (left, top) to (left + width, top + height)
  int tabIndex = 0;
  bool visible = true;
  bool isDefault = false;  // Enter clicks it
  bool isCancel = false;   // Esc clicks it
  FontSpec font;
  std::uint32_t foreColor = kSystemColor;
  std::uint32_t lineColor = 0;  // Line
  int lineWidth = 1;            // Line
  bool appIcon = false;         // PictureBox: shows the executable's first icon
};

// A decoded picture. Backends derive their own; the toolkit only reads the
// size in pixels.
class PictureData {
 public:
  virtual ~PictureData() = default;
  virtual int WidthPx() const = 0;
  virtual int HeightPx() const = 0;
};
using Picture = std::shared_ptr<const PictureData>;

// Tells a file's content apart from another's as far as the system can,
// read from the handle a load opened: a file replaced by another (renamed
// over, say) has another volume or file index, one rewritten in place a
// new change time, whatever its size and write time say.
struct FileStamp {
  std::uint64_t volume = 0;
  std::uint64_t fileIndex = 0;
  std::uint64_t size = 0;
  std::uint64_t writeTime = 0;
  std::uint64_t changeTime = 0;
  friend bool operator==(const FileStamp&, const FileStamp&) = default;
};

// The size in pixels that a picture of the given natural size will be
// painted at, when that is known. Called on the loader's thread.
using PaintedSize = std::function<std::optional<SizePx>(SizePx natural)>;

// What a load is to do. All file-system work happens on the loader's
// thread: the load opens the file, takes its stamp and stops there when
// the stamp is one of `skip`; otherwise it decodes what it opened.
struct LoadRequest {
  Text path;
  SizePx showWithin;  // kept reduced no smaller than fits this
  std::vector<FileStamp> skip;
  // With it the load also makes the bitmap the picture is painted with.
  PaintedSize paintedSize;
};

// A picture being loaded on a thread of the backend's own. The backend and
// the caller share it; whichever lets go last frees it.
class PictureLoad {
 public:
  virtual ~PictureLoad() = default;
  // Whether the load has done all it will; its thread no longer needs it.
  virtual bool Finished() = 0;
  // The picture, once Finished(); raises the load's RuntimeError (a load
  // that stopped at a stamp of its request's `skip` raises InvalidPicture).
  virtual Picture Result() = 0;
  // The stamp of the file as the load opened it, once Finished(); none
  // when it was not opened.
  virtual std::optional<FileStamp> Stamp() = 0;
  // Whether the result holds for as long as the file keeps its stamp: a
  // picture, or bytes the decoder refused. A failure of passing cause (the
  // file shared away, the network, memory) does not.
  virtual bool Lasting() = 0;
  // Asks the load to stop at its next chance, at the normal priority so
  // that it does soon. Its thread takes no further load: one that is stuck
  // inside a decoder stays stuck on its own.
  virtual void GiveUp() = 0;
};

enum class LoadWait { Finished, Input, TimedOut };

// Thrown by a backend that cannot end the process for real (the simulated
// one) to unwind the program's stack; the toolkit lets it pass untouched.
struct HostUnwind {};

// What a backend reports to the toolkit. Coordinates are pixels in the
// client area of the window named; input on a cover window is reported with
// the form's window id and coordinates relative to the form's client origin.
class EventSink {
 public:
  virtual ~EventSink() = default;
  virtual void MouseDown(WindowId window, int button, int shift, double x, double y) = 0;
  virtual void MouseMove(WindowId window, int button, int shift, double x, double y) = 0;
  virtual void KeyDown(WindowId window, int keyCode, int shift) = 0;
  virtual void Click(WindowId button) = 0;
  virtual void MenuClick(WindowId form, int menuId) = 0;
  virtual void CloseRequest(WindowId form) = 0;  // close box, Alt+F4, WM_CLOSE
  virtual void Timer(WindowId form, int timerId) = 0;
  virtual void SessionEnding() = 0;  // the user logs off or the system shuts down
  // An exception escaped the backend's own code: the program cannot go on.
  virtual void Fault() = 0;
};

class Os {
 public:
  virtual ~Os() = default;
  virtual void SetEventSink(EventSink* sink) = 0;

  // The process.
  virtual Text CommandArguments() = 0;  // after the program name and its blanks
  virtual bool AnotherInstanceRunning() = 0;
  virtual Text ExePath() = 0;  // full path of the executable
  virtual VersionInfo Version() = 0;
  [[noreturn]] virtual void ExitProcess() = 0;
  // Whether the caller runs on the thread that runs the forms' handlers.
  virtual bool OnInterfaceThread() = 0;
  // A window of another program, about to be hidden: should the process
  // end by any means (ended from outside, say) before DismissGuard, a guard
  // that outlives it shows the window again. No window (0) needs no guard.
  virtual void GuardHiddenWindow(WindowId window) = 0;
  // The program has shown the window again itself; any thread may call it.
  virtual void DismissGuard() = 0;

  // The screen. Monitors()[0] is the primary monitor, at (0, 0); the others
  // are placed relative to it.
  virtual int Dpi() = 0;
  virtual std::vector<RectPx> Monitors() = 0;

  // Windows. A form is created hidden; its controls are created hidden or
  // shown as their description says, and appear with the form.
  virtual WindowId CreateForm(const FormSpec& desc) = 0;
  virtual WindowId CreateControl(WindowId form, const ControlSpec& desc) = 0;
  virtual void DestroyWindow(WindowId window) = 0;
  virtual void SetVisible(WindowId window, bool visible) = 0;
  // Forms: outer bounds on the screen. Controls: bounds in the form's client.
  virtual void SetBounds(WindowId window, RectPx bounds) = 0;
  virtual RectPx Bounds(WindowId window) = 0;
  virtual RectPx ClientRect(WindowId form) = 0;  // left and top are 0
  virtual void SetText(WindowId window, const Text& text) = 0;
  virtual void SetBackColor(WindowId form, std::uint32_t color) = 0;
  virtual void Maximize(WindowId form) = 0;
  virtual void SetEnabled(WindowId window, bool enabled) = 0;
  virtual void SetFocus(WindowId window) = 0;
  virtual void Refresh(WindowId window) = 0;
  // Image controls: the picture (or none) and whether it is scaled to the
  // control; the backend scales it once for the control's final size.
  virtual void SetImage(WindowId image, Picture picture, bool stretch) = 0;
  virtual int StartTimer(WindowId form, unsigned intervalMs) = 0;
  virtual void StopTimer(WindowId form, int timerId) = 0;

  // Runs events until the process ends.
  virtual void RunMessageLoop() = 0;
  // Runs events until `done` says so (a modal form has closed).
  virtual void RunModalLoop(const std::function<bool()>& done) = 0;
  // A modal message box; returns the button's id (1 for OK).
  virtual int MessageBox(const Text& text, const Text& caption, unsigned flags) = 0;

  // Pictures. A load reads and decodes the file on a thread of its own. A
  // picture larger than fits `showWithin` may be kept reduced, never below
  // its size fitted within it (its natural size is still what it reports).
  // WaitForLoad waits at most `ms` for it without running any handler, and
  // answers Input as soon as a key or mouse-button press waits for the
  // program (the press stays queued for the loop). A wait that the process
  // spends suspended, or the machine asleep, may last longer than `ms`.
  // A preparation is the same load begun ahead of need: it runs at a
  // priority below the interface thread's and takes no processor from it,
  // until a wait for it raises it to the normal priority.
  virtual std::shared_ptr<PictureLoad> BeginLoadPicture(const LoadRequest& request) = 0;
  virtual std::shared_ptr<PictureLoad> BeginPreparePicture(const LoadRequest& request) = 0;
  virtual LoadWait WaitForLoad(PictureLoad& load, unsigned ms) = 0;

  // Files and processes. Shell gets a path and a window style the toolkit
  // has checked, and raises a RuntimeError when the program cannot start.
  virtual bool IsNormalFile(const Text& path) = 0;
  virtual std::uint32_t Shell(const Text& path, int windowStyle) = 0;

  // The ANSI code page of the system, for calls with an A suffix.
  virtual std::string ToAnsi(const Text& text) = 0;
  virtual Text FromAnsi(std::string_view bytes) = 0;

  // The operating-system calls the forms make directly, with their own
  // arguments and results.
  virtual std::int32_t SystemParametersInfoA(std::uint32_t action, std::uint32_t param,
                                             const char* pvParam, std::uint32_t winIni) = 0;
  virtual std::int32_t ShowCursor(std::int32_t show) = 0;
  virtual std::uintptr_t ImmAssociateContext(WindowId window, std::uintptr_t context) = 0;
  virtual WindowId FindWindowA(const std::string& className, const std::string& windowName) = 0;
  virtual std::int32_t SetWindowPos(WindowId window, std::intptr_t insertAfter, int x, int y,
                                    int cx, int cy, std::uint32_t flags) = 0;
  virtual std::int32_t RegOpenKeyExA(std::uint32_t root, const std::string& subKey,
                                     std::uint32_t options, std::uint32_t access,
                                     RegKey* result) = 0;
  virtual std::int32_t RegQueryValueExA(RegKey key, const std::string& valueName,
                                        std::uint32_t* type, std::uint8_t* data,
                                        std::uint32_t* size) = 0;
  virtual std::int32_t RegCloseKey(RegKey key) = 0;
};

}  // namespace host
