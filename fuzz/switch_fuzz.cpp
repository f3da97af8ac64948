// Any command line, as UTF-16 text of any length, through Main on the
// simulated desktop: the switch rule picks one of its four ways and nothing
// else happens.
#include <cstddef>
#include <cstdint>

#include "host/sim/sim_os.h"
#include "startup/module1.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  host::Text arguments(size / 2, u'\0');
  for (std::size_t i = 0; i < arguments.size(); ++i) {
    arguments[i] = static_cast<char16_t>(data[2 * i] | data[2 * i + 1] << 8);
  }
  sim::SimOs os;
  os.commandArguments = arguments;
  startup::Module1 module;
  host::Program program(os);
  os.Start([&] { program.RunMain([&] { module.Main(); }); });
  const bool saver = module.Form1.IsVisible();
  const bool dialog = module.Form2.IsVisible();
  const bool ended = os.Exited();
  if (saver + dialog + ended != 1) __builtin_trap();
  if (saver) {
    os.KeyDown(module.Form1.hWnd(), 32);
    if (!os.Exited() || os.cursorCount != 0) __builtin_trap();
  }
  return 0;
}
