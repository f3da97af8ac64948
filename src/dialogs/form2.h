// Form2: the configuration dialog. The saver has no settings, and the
// dialog says so; OK and Cancel end the program, and Help > version
// information opens the About box.
#pragma once

#include <memory>

#include "dialogs/sfrm_about.h"
#include "host/toolkit.h"

namespace dialogs {

class Form2 : public host::Form {
 public:
  Form2();
  Form2(const Form2&) = delete;
  Form2& operator=(const Form2&) = delete;
  ~Form2() override;

  void Form_Load() override;
  void Cmd_OK_Click();
  void Cmd_Cancel_Click();
  void MENU_Version_Click();

  // The About box, created by the first opening; null until then.
  SFrm_About* About() const { return about_.get(); }

  host::Button Cmd_OK;
  host::Button Cmd_Cancel;
  host::Label Label1;
  host::MenuItem MENU_HELP;
  host::MenuItem MENU_Version;

 private:
  std::unique_ptr<SFrm_About> about_;
};

}  // namespace dialogs
