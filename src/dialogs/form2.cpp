#include "dialogs/form2.h"

#include "dialogs/control_specs.h"

namespace dialogs {
namespace {

host::FormDesign Design() {
  host::FormDesign design;
  design.window.caption = u"設定";
  design.window.border = host::BorderStyle::FixedSingle;
  design.window.showInTaskbar = true;
  design.window.minButton = false;
  design.window.maxButton = false;
  design.window.appIcon = true;
  // No owner, so the toolkit centres it on the screen.
  design.window.startUp = host::StartUpPosition::CenterOwner;
  design.scaleMode = host::ScaleMode::Twips;
  design.clientWidthTwips = 6495;
  design.clientHeightTwips = 1095;
  return design;
}

}  // namespace

Form2::Form2()
    : host::Form(Design()),
      Cmd_OK(*this, design::Button("Cmd_OK", u"ＯＫ", {5160, 120, 1215, 375}, 0, true, false)),
      Cmd_Cancel(*this, design::Button("Cmd_Cancel", u"キャンセル", {5160, 600, 1215, 375}, 1,
                                       false, true)),
      Label1(*this, design::Label("Label1", u"設定項目はございません。", {120, 240, 3135, 255}, 2)),
      MENU_HELP(*this, "MENU_HELP", u"ヘルプ(&H)"),
      MENU_Version(*this, "MENU_Version", u"バージョン情報(&V)...", &MENU_HELP) {
  Cmd_OK.onClick = [this] { Cmd_OK_Click(); };
  Cmd_Cancel.onClick = [this] { Cmd_Cancel_Click(); };
  MENU_Version.onClick = [this] { MENU_Version_Click(); };
}

Form2::~Form2() = default;

void Form2::Form_Load() {
  host::Trap([this] { SetCaption(host::App().Title()); });
}

void Form2::Cmd_OK_Click() {
  host::Trap([] { host::End(); });
}

void Form2::Cmd_Cancel_Click() {
  host::Trap([] { host::End(); });
}

// Show loads the box when it is not loaded, so every opening is a fresh
// load; it returns once the box has been unloaded.
void Form2::MENU_Version_Click() {
  host::Trap([this] {
    if (!about_) about_ = std::make_unique<SFrm_About>();
    host::Show(*about_, host::vbModal);
  });
}

}  // namespace dialogs
