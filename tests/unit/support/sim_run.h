// Runs of the program on the simulated desktop, and the log lines it writes.
#pragma once

#include <algorithm>
#include <functional>

#include <gtest/gtest.h>

#include "host/sim/sim_os.h"
#include "startup/module1.h"

namespace testing_support {

using Lines = std::vector<std::string>;

inline host::Text DatFile(int index) {
  return u"C:\\WINDOWS\\ZARVO" + host::ZeroPad(index, 3) + u".DAT";
}

// The log lines, as the simulated desktop writes them.
inline std::string Call(const std::string& name, host::WindowId id, const std::string& rest = "") {
  return name + "(" + std::to_string(id) + (rest.empty() ? "" : ", " + rest) + ")";
}
inline Lines Last(const Lines& lines, std::size_t n) {
  return Lines(lines.end() - static_cast<std::ptrdiff_t>(std::min(n, lines.size())), lines.end());
}
inline std::string LoadCall(int index, const std::string& size = "800, 600",
                            const std::string& call = "BeginLoadPicture") {
  return call + "(\"" + host::ToUtf8(DatFile(index)) + "\", " + size + ")";
}
inline std::string PrepareCall(int index) {
  return LoadCall(index, "800, 600", "BeginPreparePicture");
}
// The load at a tick that decodes only what is not the prepared file.
inline std::string CheckCall(int index) { return LoadCall(index, "800, 600, 1"); }

// The whole program, started with a command line once the test has set up
// the desktop; fifty good pictures unless the test says otherwise.
struct SimRun {
  sim::SimOs os;
  startup::Module1 module;
  std::unique_ptr<host::Program> program;

  SimRun() {
    for (int i = 1; i <= 50; ++i) Put(i, {sim::PictureFile(400, 300)});
  }

  void Put(int index, sim::File file) { os.files[DatFile(index)] = std::move(file); }
  void Start(const host::Text& arguments) {
    os.commandArguments = arguments;
    program = std::make_unique<host::Program>(os);
    os.Start([this] { program->RunMain([this] { module.Main(); }); });
  }

  host::WindowId SaverWindow() const { return module.Form1.IsLoaded() ? module.Form1.hWnd() : 0; }
  host::WindowId ImageWindow() const { return module.Form1.Image1.Window(); }
  bool Shown() { return os.Find(ImageWindow())->visible; }
  auto Count(const std::string& entry) const { return std::ranges::count(os.log, entry); }
};

// The saver over a desktop with a task bar; `setUp` runs before it starts.
struct SaverRun : SimRun {
  host::WindowId tray = os.AddTrayWindow();
  host::WindowId form = 0;
  explicit SaverRun(const std::function<void(SimRun&)>& setUp = {}) {
    if (setUp) setUp(*this);
    Start(u"/s");
    form = SaverWindow();
  }
};

// The saver has ended and given back, once each, all it took from the desktop.
inline void ExpectDesktopRestored(SaverRun& run) {
  EXPECT_TRUE(run.os.Exited());
  EXPECT_EQ(run.os.cursorCount, 0);
  EXPECT_TRUE(run.os.Find(run.tray)->visible);
  EXPECT_EQ(run.Count("ShowCursor(-1)"), 1);
  EXPECT_EQ(run.Count(Call("ImmAssociateContext", run.form, std::to_string(0x5000 + run.form))), 1);
  // The task bar's guard is dismissed once, only after it is shown.
  EXPECT_EQ(run.Count(Call("SetWindowPos", run.tray, "0, 0, 0, 0, 0, 64")), 1);
  EXPECT_EQ(Last(run.os.Calls({"SetWindowPos", "DismissGuard"}), 2),
            (Lines{Call("SetWindowPos", run.tray, "0, 0, 0, 0, 0, 64"), "DismissGuard()"}));
  EXPECT_EQ(run.Count("DismissGuard()"), 1);
  EXPECT_TRUE(run.os.screenSaveActive);  // screen saving stays switched on
}

// One form of the test's own, loaded and shown as Main does for "/C".
template <class F>
struct FormRun {
  sim::SimOs os;
  host::Program program{os};
  F form;

  void Open() {
    os.Start([&] {
      program.RunMain([&] {
        host::Load(form);
        host::Show(form);
      });
    });
  }
  sim::Window* Control(const host::Form& f, const std::string& name) {
    return os.Control(f.hWnd(), name);
  }
  void Click(const host::Form& f, const std::string& name) { os.Click(Control(f, name)->id); }
};

}  // namespace testing_support
