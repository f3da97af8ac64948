#include "startup/module1.h"

namespace startup {

using host::Text;

void Module1::Main() {
  host::Trap([this] {
    if (host::App().PrevInstance()) host::End();
    const Text switchText = host::UCase(host::Left(host::Command(), 2));
    if (switchText == u"/A") {
      host::MsgBox(u"パスワードには対応しておりません。", host::vbOKOnly, host::App().Title());
      host::End();
    } else if (switchText == u"/C" || switchText.empty()) {
      host::Load(Form2);
      host::Show(Form2);
    } else if (switchText == u"/P") {
      // The preview has nothing to show.
    } else {
      host::Load(Form1);
      host::Show(Form1);
      Form1.SetWindowState(host::vbMaximized);
    }
  });
}

}  // namespace startup
