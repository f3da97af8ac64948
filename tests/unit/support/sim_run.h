// A run of the whole program on the simulated desktop: Main with the
// command line given, then whatever input the test delivers.
#pragma once

#include <memory>
#include <string>

#include "host/sim/sim_os.h"
#include "startup/module1.h"

namespace testing_support {

struct SimRun {
  sim::SimOs os;
  startup::Module1 module;
  std::unique_ptr<host::Program> program;

  SimRun() {
    for (int i = 1; i <= 50; ++i) {
      os.files[u"C:\\WINDOWS\\ZARVO" + host::ZeroPad(i, 3) + u".DAT"] = {
          sim::PictureFile(400, 300)};
    }
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

inline std::string Id(host::WindowId id) { return std::to_string(id); }

}  // namespace testing_support
