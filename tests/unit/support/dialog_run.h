// The configuration dialog opened as Main opens it for "/C", and its About box.
#pragma once

#include "dialogs/form2.h"
#include "support/sim_run.h"

namespace testing_support {

struct DialogRun {
  sim::SimOs os;
  host::Program program{os};
  dialogs::Form2 form;

  void Open() { LoadAndShow(os, program, form); }
  sim::Window* Control(const host::Form& f, const std::string& name) {
    return os.Control(f.hWnd(), name);
  }
  void Click(const host::Form& f, const std::string& name) { os.Click(Control(f, name)->id); }
  // Chooses Help > version information; `whileOpen` runs inside the About
  // box's modal loop, which the box's OK button then ends if still open.
  void WithAboutBox(const std::function<void(dialogs::SFrm_About&)>& whileOpen) {
    os.modalActions.push_back([&] {
      dialogs::SFrm_About& about = *form.About();
      whileOpen(about);
      if (about.IsLoaded()) Click(about, "cmdOK");
    });
    os.ChooseMenu(form.hWnd(), form.MENU_Version.Id());
  }
};

}  // namespace testing_support
