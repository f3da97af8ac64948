// A run of the whole program on the simulated desktop, and the log lines it writes.
#pragma once

#include <algorithm>

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

struct SimRun {
  sim::SimOs os;
  startup::Module1 module;
  std::unique_ptr<host::Program> program;

  SimRun() {
    for (int i = 1; i <= 50; ++i) os.files[DatFile(i)] = {sim::PictureFile(400, 300)};
  }

  void Start(const host::Text& arguments) {
    os.commandArguments = arguments;
    program = std::make_unique<host::Program>(os);
    os.Start([this] { program->RunMain([this] { module.Main(); }); });
  }

  host::WindowId SaverWindow() const { return module.Form1.IsLoaded() ? module.Form1.hWnd() : 0; }
  host::WindowId ImageWindow() const { return module.Form1.Image1.Window(); }
  int Count(const std::string& entry) const {
    int n = 0;
    for (const std::string& line : os.log) n += line == entry;
    return n;
  }
};

// The saver started over a desktop with a task bar.
struct SaverRun : SimRun {
  host::WindowId tray = os.AddTrayWindow();
  host::WindowId form = 0;
  SaverRun() {
    Start(u"/s");
    form = SaverWindow();
  }
};

// As Main does for "/C": load, then show modeless.
inline void LoadAndShow(sim::SimOs& os, host::Program& program, host::Form& form) {
  os.Start([&] {
    program.RunMain([&] {
      host::Load(form);
      host::Show(form);
    });
  });
}

}  // namespace testing_support
