// Module1: where the program's own logic starts. Main turns a second copy
// away, reads the screen-saver switch and opens the saver or the dialog.
#pragma once

#include "dialogs/form2.h"
#include "saver/form1.h"

namespace startup {

class Module1 {
 public:
  void Main();

  saver::Form1 Form1;
  dialogs::Form2 Form2;
};

}  // namespace startup
