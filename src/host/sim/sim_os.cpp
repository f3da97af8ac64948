#include "host/sim/sim_os.h"

#include <algorithm>
#include <cctype>
#include <cstring>
#include <new>
#include <utility>

#include "host/runtime.h"
#include "host/sim/sim_log.h"
#include "host/win_constants.h"

namespace sim {

namespace win = host::win;

namespace {

constexpr int kBorder = 3;
constexpr int kCaption = 20;
constexpr int kMenuBar = 20;
constexpr std::uint32_t kWriteRights =
    win::kKeySetValue | win::kKeyCreateSubKey | win::kKeyCreateLink;

std::string Upper(std::string text) {
  std::transform(text.begin(), text.end(), text.begin(),
                 [](unsigned char c) { return static_cast<char>(std::toupper(c)); });
  return text;
}

}  // namespace

SimOs::SimOs() = default;

// ------------------------------------------------------------ test input

void SimOs::Deliver(const std::function<void()>& event) {
  if (exited_) return;
  ++depth_;
  try {
    event();
  } catch (const ProcessExit&) {
    --depth_;
    if (depth_ > 0) throw;  // unwind the modal loops and handlers above us too
    return;
  }
  --depth_;
}

void SimOs::Start(const std::function<void()>& body) { Deliver(body); }

bool SimOs::TakesInput(WindowId window) {
  const Window* w = Find(window);
  if (w == nullptr || !w->visible || !w->enabled) return false;
  if (w->isForm) return true;
  const Window* form = Find(w->parent);
  return form != nullptr && form->visible && form->enabled;
}

WindowId SimOs::AddTrayWindow() {
  const WindowId id = NewId();
  Window tray;
  tray.id = id;
  tray.className = "Shell_TrayWnd";
  tray.visible = true;
  tray.ownedByProgram = false;
  tray.bounds = {0, monitors[0].height - 40, monitors[0].width, 40};
  windows_[id] = tray;
  return id;
}

void SimOs::Advance(std::uint64_t ms) {
  const std::uint64_t until = now + ms;
  while (!exited_) {
    const auto timer =
        std::min_element(timers_.begin(), timers_.end(),
                         [](const TimerState& a, const TimerState& b) { return a.due < b.due; });
    const auto input =
        std::min_element(scheduled_.begin(), scheduled_.end(),
                         [](const Scheduled& a, const Scheduled& b) { return a.at < b.at; });
    const bool timerDue = timer != timers_.end() && timer->due <= until;
    const bool inputDue = input != scheduled_.end() && input->at <= until;
    if (!timerDue && !inputDue) break;
    // Of what is due by now, input goes first: WM_TIMER comes last.
    if (inputDue && (!timerDue || std::max(now, input->at) <= std::max(now, timer->due))) {
      now = std::max(now, Resumed(input->at));
      const std::function<void()> deliver = std::move(input->deliver);
      scheduled_.erase(input);
      deliver();
      continue;
    }
    // A timer that fell due while a handler ran, or the process was
    // stopped, fires once, late.
    now = std::max(now, Resumed(timer->due));
    while (timer->due <= now) timer->due += timer->interval;
    const WindowId form = timer->form;
    const int id = timer->id;
    if (Find(form) != nullptr) Deliver([&] { sink_->Timer(form, id); });
  }
  if (!exited_) now = std::max(now, until);
}

void SimOs::Schedule(std::uint64_t at, bool press, std::function<void()> deliver) {
  scheduled_.push_back({at, press, std::move(deliver)});
}

void SimOs::KeyDownAt(std::uint64_t at, WindowId window, int keyCode) {
  Schedule(at, true, [=, this] { KeyDown(window, keyCode); });
}

void SimOs::MouseDownAt(std::uint64_t at, WindowId window, double x, double y) {
  Schedule(at, true, [=, this] { MouseDown(window, x, y); });
}

void SimOs::MouseMoveAt(std::uint64_t at, WindowId window, double x, double y) {
  Schedule(at, false, [=, this] { MouseMove(window, x, y); });
}

void SimOs::MouseMove(WindowId window, double x, double y, int button, int shift) {
  if (!TakesInput(window)) return;
  const Window& w = *Find(window);
  if (w.coverOf != 0) {
    const host::RectPx form = Find(w.coverOf)->bounds;
    const WindowId target = w.coverOf;
    x += w.bounds.left - form.left;
    y += w.bounds.top - form.top;
    Deliver([&] { sink_->MouseMove(target, button, shift, x, y); });
    return;
  }
  Deliver([&] { sink_->MouseMove(window, button, shift, x, y); });
}

void SimOs::MouseDown(WindowId window, double x, double y, int button, int shift) {
  if (!TakesInput(window)) return;
  const Window& w = *Find(window);
  const WindowId target = w.coverOf != 0 ? w.coverOf : window;
  if (w.coverOf != 0) {
    x += w.bounds.left - Find(w.coverOf)->bounds.left;
    y += w.bounds.top - Find(w.coverOf)->bounds.top;
  }
  Deliver([&] { sink_->MouseDown(target, button, shift, x, y); });
}

// As the system's dialog navigation does: Enter clicks the form's default
// button and Esc its cancel button; other keys go to the form.
void SimOs::KeyDown(WindowId window, int keyCode, int shift) {
  if (!TakesInput(window)) return;
  const Window& w = *Find(window);
  const WindowId form = w.coverOf != 0 ? w.coverOf : (w.isForm ? window : w.parent);
  constexpr int kEnter = 13;
  constexpr int kEscape = 27;
  for (auto& [id, control] : windows_) {
    if (control.destroyed || control.parent != form || !control.visible) continue;
    const bool clicks = (keyCode == kEnter && control.control.isDefault) ||
                        (keyCode == kEscape && control.control.isCancel);
    if (clicks && control.control.kind == host::ControlKind::Button) {
      const WindowId button = id;
      Deliver([&] { sink_->Click(button); });
      return;
    }
  }
  Deliver([&] { sink_->KeyDown(form, keyCode, shift); });
}

void SimOs::Click(WindowId button) {
  if (!TakesInput(button)) return;
  Deliver([&] { sink_->Click(button); });
}

void SimOs::ChooseMenu(WindowId form, int menuId) {
  if (!TakesInput(form)) return;
  Deliver([&] { sink_->MenuClick(form, menuId); });
}

void SimOs::Close(WindowId form) {
  if (Find(form) == nullptr) return;
  Deliver([&] { sink_->CloseRequest(form); });
}

void SimOs::EndSession() {
  Deliver([&] { sink_->SessionEnding(); });
}

// --------------------------------------------------------------- lookups

Window* SimOs::Find(WindowId id) {
  const auto found = windows_.find(id);
  return found == windows_.end() || found->second.destroyed ? nullptr : &found->second;
}

std::vector<Window*> SimOs::Forms() {
  std::vector<Window*> forms;
  for (auto& [id, w] : windows_) {
    if (w.isForm && !w.destroyed && w.coverOf == 0) forms.push_back(&w);
  }
  return forms;
}

Window* SimOs::FormByCaption(const Text& caption) {
  for (Window* form : Forms()) {
    if (form->text == caption) return form;
  }
  return nullptr;
}

Window* SimOs::Control(WindowId form, const std::string& name) {
  for (auto& [id, w] : windows_) {
    if (!w.destroyed && w.parent == form && w.control.name == name) return &w;
  }
  return nullptr;
}

std::vector<Window*> SimOs::Covers(WindowId form) {
  std::vector<Window*> covers;
  for (auto& [id, w] : windows_) {
    if (!w.destroyed && w.coverOf == form) covers.push_back(&w);
  }
  return covers;
}

std::vector<std::string> SimOs::Calls(const std::vector<std::string>& names) const {
  std::vector<std::string> picked;
  for (const std::string& entry : log) {
    const std::string name = entry.substr(0, entry.find('('));
    if (std::find(names.begin(), names.end(), name) != names.end()) picked.push_back(entry);
  }
  return picked;
}

// ------------------------------------------------------------- host::Os

Text SimOs::CommandArguments() {
  Log("CommandArguments");
  return commandArguments;
}

bool SimOs::AnotherInstanceRunning() {
  Log("AnotherInstanceRunning");
  return anotherInstance;
}

Text SimOs::ExePath() {
  Log("ExePath");
  return exePath;
}

host::VersionInfo SimOs::Version() {
  Log("Version");
  return version;
}

void SimOs::ExitProcess() {
  Log("ExitProcess");
  exited_ = true;
  for (auto& [id, w] : windows_) {
    if (w.ownedByProgram) w.destroyed = true;  // the system takes a dead process's windows
  }
  timers_.clear();
  throw ProcessExit{};
}

bool SimOs::OnInterfaceThread() { return std::this_thread::get_id() == interfaceThread_; }

void SimOs::GuardHiddenWindow(WindowId window) { Log("GuardHiddenWindow", window); }
void SimOs::DismissGuard() { Log("DismissGuard"); }

int SimOs::Dpi() { return dpi; }
std::vector<host::RectPx> SimOs::Monitors() { return monitors; }

int SimOs::FrameWidth(const Window& form) const {
  return form.form.border == host::BorderStyle::None ? 0 : 2 * kBorder;
}

int SimOs::FrameHeight(const Window& form) const {
  if (form.form.border == host::BorderStyle::None) return 0;
  return 2 * kBorder + kCaption + (form.form.menus.empty() ? 0 : kMenuBar);
}

WindowId SimOs::CreateForm(const host::FormSpec& desc) {
  Log("CreateForm", desc.caption, static_cast<int>(desc.border), desc.clientWidth,
      desc.clientHeight);
  if (refuseWindows) return 0;
  Window form;
  form.id = NewId();
  form.isForm = true;
  form.className = "ZarvoForm";
  form.form = desc;
  form.text = desc.caption;
  form.backColor = desc.backColor;
  form.imeContext = 0x5000 + form.id;
  const int width = desc.clientWidth + FrameWidth(form);
  const int height = desc.clientHeight + FrameHeight(form);
  const bool centred = desc.startUp == host::StartUpPosition::CenterOwner ||
                       desc.startUp == host::StartUpPosition::CenterScreen;
  form.bounds = centred ? host::RectPx{(monitors[0].width - width) / 2,
                                       (monitors[0].height - height) / 2, width, height}
                        : host::RectPx{0, 0, width, height};
  windows_[form.id] = form;
  if (desc.coverOtherMonitors) {
    for (std::size_t m = 1; m < monitors.size(); ++m) {
      Window cover;
      cover.id = NewId();
      cover.isForm = true;
      cover.className = "ZarvoCover";
      cover.coverOf = form.id;
      cover.bounds = monitors[m];
      cover.backColor = 0;
      cover.topmost = true;
      windows_[cover.id] = cover;
    }
  }
  return form.id;
}

WindowId SimOs::CreateControl(WindowId form, const host::ControlSpec& desc) {
  Log("CreateControl", form, desc.name, desc.caption, desc.rect.left, desc.rect.top,
      desc.rect.width, desc.rect.height);
  Window control;
  control.id = NewId();
  control.parent = form;
  control.control = desc;
  control.text = desc.caption;
  control.bounds = desc.rect;
  control.visible = desc.visible;
  static const char* const kClasses[] = {"ZarvoImage", "Static", "Button", "Static", "Static"};
  control.className = kClasses[static_cast<int>(desc.kind)];
  windows_[control.id] = control;
  return control.id;
}

void SimOs::DestroyWindow(WindowId window) {
  Log("DestroyWindow", window);
  for (auto& [id, w] : windows_) {
    if (id == window || w.parent == window || w.coverOf == window) w.destroyed = true;
  }
  std::erase_if(timers_, [window](const TimerState& t) { return t.form == window; });
  if (focus == window) focus = 0;
}

void SimOs::SetVisible(WindowId window, bool visible) {
  Log("SetVisible", window, visible);
  Window* w = Find(window);
  if (w == nullptr) return;
  w->visible = visible;
  for (Window* cover : Covers(window)) cover->visible = visible;
  if (visible && w->isForm) focus = FirstTabStop(window);
}

// The control a form gives the focus to when it appears: its button with the
// lowest tab index, or the form itself.
WindowId SimOs::FirstTabStop(WindowId form) {
  WindowId first = form;
  int lowest = 0;
  for (const auto& [id, w] : windows_) {
    if (w.destroyed || w.parent != form || w.control.kind != host::ControlKind::Button) continue;
    if (first == form || w.control.tabIndex < lowest) {
      first = id;
      lowest = w.control.tabIndex;
    }
  }
  return first;
}

void SimOs::SetBounds(WindowId window, host::RectPx bounds) {
  Log("SetBounds", window, bounds.left, bounds.top, bounds.width, bounds.height);
  if (Window* w = Find(window)) w->bounds = bounds;
}

host::RectPx SimOs::Bounds(WindowId window) {
  const Window* w = Find(window);
  return w != nullptr ? w->bounds : host::RectPx{};
}

host::RectPx SimOs::ClientRect(WindowId form) {
  const Window* w = Find(form);
  if (w == nullptr) return {};
  return {0, 0, w->bounds.width - FrameWidth(*w), w->bounds.height - FrameHeight(*w)};
}

void SimOs::SetText(WindowId window, const Text& text) {
  Log("SetText", window, text);
  if (Window* w = Find(window)) w->text = text;
}

void SimOs::SetBackColor(WindowId form, std::uint32_t color) {
  Log("SetBackColor", form, color);
  if (Window* w = Find(form)) w->backColor = color;
}

void SimOs::Maximize(WindowId form) {
  Log("Maximize", form);
  if (Window* w = Find(form)) {
    w->maximized = true;
    w->bounds = monitors[0];
  }
}

void SimOs::SetEnabled(WindowId window, bool enabled) {
  Log("SetEnabled", window, enabled);
  if (Window* w = Find(window)) w->enabled = enabled;
}

void SimOs::SetFocus(WindowId window) {
  Log("SetFocus", window);
  if (Find(window) != nullptr) focus = window;
}

void SimOs::Refresh(WindowId window) { Log("Refresh", window); }

void SimOs::SetImage(WindowId image, host::Picture picture, bool stretch) {
  Log("SetImage", image, picture ? picture->WidthPx() : 0, picture ? picture->HeightPx() : 0,
      stretch);
  if (const auto* simPicture = dynamic_cast<const SimPicture*>(picture.get());
      simPicture && simPicture->TakeNoMemory()) {
    throw std::bad_alloc();
  }
  if (Window* w = Find(image)) {
    w->picture = std::move(picture);
    w->stretch = stretch;
  }
}

int SimOs::StartTimer(WindowId form, unsigned intervalMs) {
  Log("StartTimer", form, intervalMs);
  timers_.push_back({form, ++nextTimer_, intervalMs, now + intervalMs});
  return nextTimer_;
}

void SimOs::StopTimer(WindowId form, int timerId) {
  Log("StopTimer", form, timerId);
  std::erase_if(timers_, [&](const TimerState& t) { return t.form == form && t.id == timerId; });
}

void SimOs::RunMessageLoop() {}  // the test delivers events itself

void SimOs::RunModalLoop(const std::function<bool()>& done) {
  Log("RunModalLoop");
  while (!done()) {
    if (modalActions.empty()) throw ModalStarved{};
    const std::function<void()> action = std::move(modalActions.front());
    modalActions.pop_front();
    action();
  }
}

int SimOs::MessageBox(const Text& text, const Text& caption, unsigned flags) {
  Log("MessageBox", text, caption, flags);
  messageBoxes.push_back({text, caption, flags});
  return 1;
}

bool SimOs::IsNormalFile(const Text& path) {
  Log("IsNormalFile", path);
  const auto found = files.find(path);
  return found != files.end() && !found->second.directory && !found->second.hidden;
}

std::uint32_t SimOs::Shell(const Text& path, int windowStyle) {
  Log("Shell", path, windowStyle);
  if (!IsNormalFile(path)) throw host::RuntimeError(host::ErrorCode::FileNotFound);
  launched.push_back(path);
  return 0x400 + static_cast<std::uint32_t>(launched.size());
}

// The simulated system's ANSI code page is UTF-8.
std::string SimOs::ToAnsi(const Text& text) { return host::ToUtf8(text); }
Text SimOs::FromAnsi(std::string_view bytes) { return host::FromUtf8(bytes); }

std::int32_t SimOs::SystemParametersInfoA(std::uint32_t action, std::uint32_t param,
                                          const char* pvParam, std::uint32_t winIni) {
  Log("SystemParametersInfoA", action, static_cast<std::int32_t>(param), pvParam, winIni);
  if (action != win::kSpiSetScreenSaveActive) return 0;
  screenSaveActive = param != 0;
  return 1;
}

std::int32_t SimOs::ShowCursor(std::int32_t show) {
  Log("ShowCursor", show);
  cursorCount += show != 0 ? 1 : -1;
  return cursorCount;
}

std::uintptr_t SimOs::ImmAssociateContext(WindowId window, std::uintptr_t context) {
  Log("ImmAssociateContext", window, context);
  Window* w = Find(window);
  if (w == nullptr) return 0;
  return std::exchange(w->imeContext, context);
}

WindowId SimOs::FindWindowA(const std::string& className, const std::string& windowName) {
  Log("FindWindowA", className, windowName);
  for (auto& [id, w] : windows_) {
    if (!w.destroyed && Upper(w.className) == Upper(className) &&
        host::ToUtf8(w.text) == windowName) {
      return id;
    }
  }
  return 0;
}

std::int32_t SimOs::SetWindowPos(WindowId window, std::intptr_t insertAfter, int x, int y, int cx,
                                 int cy, std::uint32_t flags) {
  Log("SetWindowPos", window, insertAfter, x, y, cx, cy, flags);
  Window* w = Find(window);
  if (w == nullptr) return 0;
  if (insertAfter == win::kHwndTopMost) w->topmost = true;
  if (insertAfter == win::kHwndNoTopMost) w->topmost = false;
  if (flags & win::kSwpShowWindow) w->visible = true;
  if (flags & win::kSwpHideWindow) w->visible = false;
  return 1;
}

std::int32_t SimOs::RegOpenKeyExA(std::uint32_t root, const std::string& subKey,
                                  std::uint32_t options, std::uint32_t access,
                                  host::RegKey* result) {
  Log("RegOpenKeyExA", root, subKey, options, access);
  if (root != win::kHkeyLocalMachine) return win::kErrorFileNotFound;
  const std::string path = "HKLM\\" + Upper(subKey);
  const auto found = registry.find(path);
  if (found == registry.end()) return win::kErrorFileNotFound;
  if ((access & kWriteRights) != 0 && !found->second.writable) return win::kErrorAccessDenied;
  *result = ++nextKey_;
  openKeys_[*result] = path;
  ++openRegistryKeys;
  return win::kErrorSuccess;
}

std::int32_t SimOs::RegQueryValueExA(host::RegKey key, const std::string& valueName,
                                     std::uint32_t* type, std::uint8_t* data, std::uint32_t* size) {
  Log("RegQueryValueExA", key, valueName, size != nullptr ? *size : 0);
  const auto open = openKeys_.find(key);
  if (open == openKeys_.end()) return win::kErrorInvalidHandle;
  const auto& values = registry[open->second].values;
  const auto found = values.find(Upper(valueName));
  if (found == values.end()) return win::kErrorFileNotFound;
  const RegistryValue& value = found->second;
  if (type != nullptr) *type = value.type;
  if (size == nullptr) return win::kErrorSuccess;
  if (value.data.size() > *size) {
    *size = static_cast<std::uint32_t>(value.data.size());
    return win::kErrorMoreData;
  }
  if (data != nullptr && !value.data.empty())
    std::memcpy(data, value.data.data(), value.data.size());
  *size = static_cast<std::uint32_t>(value.data.size());
  return win::kErrorSuccess;
}

std::int32_t SimOs::RegCloseKey(host::RegKey key) {
  Log("RegCloseKey", key);
  if (openKeys_.erase(key) == 0) return win::kErrorInvalidHandle;
  --openRegistryKeys;
  return win::kErrorSuccess;
}

}  // namespace sim
