// The configuration dialog: layout, the ways it ends, and the modal About box.
#include <gtest/gtest.h>

#include <tuple>

#include "support/dialog_run.h"

namespace {

using host::RectPx;
using host::WindowId;

class DialogTest : public ::testing::Test, public testing_support::DialogRun {
 protected:
  // Every call that could leave something behind on the system.
  std::vector<std::string> Writes() const {
    return os.Calls({"RegOpenKeyExA", "RegQueryValueExA", "Shell", "SystemParametersInfoA"});
  }
  // Each named control with its caption, bounds (pixels at 96 DPI) and tab index.
  void ExpectControls(
      const host::Form& f,
      const std::vector<std::tuple<std::string, std::u16string, RectPx, int>>& expected) {
    for (const auto& [name, caption, rect, tabIndex] : expected) {
      const sim::Window* control = Control(f, name);
      ASSERT_NE(control, nullptr) << name;
      EXPECT_EQ(
          std::tuple(control->text, control->bounds, control->control.tabIndex, control->visible),
          std::tuple(caption, rect, tabIndex, true))
          << name;
    }
  }
};

TEST_F(DialogTest, OpensWithTheTitleAsCaptionTheDesignLayoutAndOneHelpMenu) {
  Open();
  const sim::Window& w = *os.Find(form.hWnd());
  EXPECT_TRUE(w.visible);
  EXPECT_EQ(std::tuple(w.text, form.Caption()), std::tuple(u"ZARVO", u"ZARVO"));
  EXPECT_EQ(os.ClientRect(w.id), (RectPx{0, 0, 433, 73}));
  EXPECT_EQ(w.form.border, host::BorderStyle::FixedSingle);
  EXPECT_TRUE(w.form.showInTaskbar && w.form.appIcon);
  EXPECT_FALSE(w.form.minButton || w.form.maxButton || w.form.refusesScreenSaver);
  ExpectControls(form, {{"Cmd_OK", u"ＯＫ", {344, 8, 81, 25}, 0},
                        {"Cmd_Cancel", u"キャンセル", {344, 40, 81, 25}, 1},
                        {"Label1", u"設定項目はございません。", {8, 16, 209, 17}, 2}});
  EXPECT_EQ(os.focus, Control(form, "Cmd_OK")->id);
  // The caption is the title before the window is first shown.
  EXPECT_EQ(os.Calls({"SetText", "SetVisible"}).at(0).rfind("SetText(", 0), 0u);
  const auto& menus = w.form.menus;
  ASSERT_EQ(menus.size(), 2u);
  EXPECT_EQ(std::tuple(menus[0].caption, menus[0].parent), std::tuple(u"ヘルプ(&H)", -1));
  EXPECT_EQ(std::tuple(menus[1].caption, menus[1].parent, menus[1].id),
            std::tuple(u"バージョン情報(&V)...", menus[0].id, form.MENU_Version.Id()));
}

TEST_F(DialogTest, ClientAreaScalesWithTheScreenDpiRoundingUp) {
  os.dpi = 144;  // ten twips to the pixel
  Open();
  EXPECT_EQ(os.ClientRect(form.hWnd()), (RectPx{0, 0, 650, 110}));  // 649.5 and 109.5 round up
}

// One run per way of leaving. The keys go where the focus is, on Cmd_OK:
// Enter presses the default button and Esc the cancel button.
class DialogEnd : public DialogTest, public ::testing::WithParamInterface<std::string> {};

TEST_P(DialogEnd, EndsTheProgramAtOnceWritingNothing) {
  Open();
  ASSERT_FALSE(os.Exited());
  const WindowId dialog = form.hWnd();
  const std::string& way = GetParam();
  if (way == "OkButton") Click(form, "Cmd_OK");
  if (way == "CancelButton") Click(form, "Cmd_Cancel");
  if (way == "CloseBox") os.Close(dialog);
  if (way == "Enter") os.KeyDown(os.focus, 13);
  if (way == "Esc") os.KeyDown(os.focus, 27);
  EXPECT_TRUE(os.Exited());
  EXPECT_EQ(os.Find(dialog), nullptr);
  EXPECT_EQ(os.Calls({"ExitProcess"}).size(), 1u);
  EXPECT_TRUE(Writes().empty());
  EXPECT_TRUE(os.messageBoxes.empty());
}

INSTANTIATE_TEST_SUITE_P(Ways, DialogEnd,
                         ::testing::Values("OkButton", "CancelButton", "CloseBox", "Enter", "Esc"),
                         [](const auto& info) { return info.param; });

TEST_F(DialogTest, VersionItemOpensAFreshAboutBoxModallyEachTime) {
  Open();
  const WindowId dialog = form.hWnd();
  std::vector<WindowId> boxes;
  std::vector<std::u16string> versions;
  const auto record = [&](dialogs::SFrm_About& about) {
    boxes.push_back(about.hWnd());
    EXPECT_FALSE(os.Find(dialog)->enabled);
    versions.push_back(Control(about, "lblVersion")->text);
  };
  WithAboutBox(record);
  ASSERT_FALSE(os.Exited());
  dialogs::SFrm_About* first = form.About();
  EXPECT_FALSE(first->IsLoaded());

  os.version.major = 2;  // a fresh load reads the application object again
  WithAboutBox(record);
  ASSERT_FALSE(os.Exited());
  EXPECT_EQ(form.About(), first) << "the box is created once and loaded on each opening";
  ASSERT_EQ(boxes.size(), 2u);
  EXPECT_NE(boxes[0], boxes[1]);
  EXPECT_EQ(versions, (std::vector<std::u16string>{u"ﾊﾞｰｼﾞｮﾝ 1.0.0", u"ﾊﾞｰｼﾞｮﾝ 2.0.0"}));
  Click(form, "Cmd_Cancel");  // still a working dialog afterwards
  EXPECT_TRUE(os.Exited());
}

TEST_F(DialogTest, AboutBoxClosesByItsCloseBoxEnterOrEsc) {
  Open();
  const std::pair<const char*, std::function<void(dialogs::SFrm_About&)>> ways[] = {
      {"close box", [&](dialogs::SFrm_About& about) { os.Close(about.hWnd()); }},
      {"Enter", [&](dialogs::SFrm_About& about) { os.KeyDown(about.hWnd(), 13); }},
      {"Esc", [&](dialogs::SFrm_About& about) { os.KeyDown(about.hWnd(), 27); }}};
  for (const auto& [name, close] : ways) {
    bool closed = false;
    WithAboutBox([&](dialogs::SFrm_About& about) {
      close(about);
      closed = !about.IsLoaded();
    });
    EXPECT_TRUE(closed && !os.Exited() && os.Find(form.hWnd())->enabled) << name;
  }
  EXPECT_TRUE(os.messageBoxes.empty());
  EXPECT_TRUE(Writes().empty());
}

TEST_F(DialogTest, AboutBoxHasTheDesignLayout) {
  Open();
  WithAboutBox([&](dialogs::SFrm_About& about) {
    const sim::Window& w = *os.Find(about.hWnd());
    EXPECT_TRUE(w.visible);
    EXPECT_EQ(w.text, u"ZARVOのﾊﾞｰｼﾞｮﾝ情報");
    EXPECT_EQ(os.ClientRect(w.id), (RectPx{0, 0, 407, 192}));
    EXPECT_EQ(w.form.border, host::BorderStyle::FixedDialog);
    EXPECT_FALSE(w.form.showInTaskbar || w.form.refusesScreenSaver);
    EXPECT_TRUE(w.form.menus.empty());
    ExpectControls(
        about, {{"picIcon", u"", {16, 16, 32, 32}, 1},
                {"cmdOK", u"OK", {304, 132, 92, 23}, 0},
                {"cmdSysInfo", u"ｼｽﾃﾑ情報(&S)...", {304, 160, 92, 23}, 2},
                {"lblLegalCopyright", u"(C) Test\r\nAll rights reserved.", {12, 80, 388, 30}, 8},
                {"lblCompanyName", u"Test Company", {12, 62, 384, 15}, 7},
                {"lblDescription", u"ｱﾌﾟﾘｹｰｼｮﾝの説明", {68, 228, 259, 78}, 3},
                {"lblTitle", u"ZARVO", {70, 16, 327, 19}, 5},
                {"lblVersion", u"ﾊﾞｰｼﾞｮﾝ 1.0.0", {70, 40, 327, 15}, 6},
                {"lblDisclaimer", u"", {12, 144, 282, 35}, 4}});
    EXPECT_TRUE(Control(about, "picIcon")->control.appIcon);
    const host::FontSpec& font = Control(about, "lblTitle")->control.font;
    EXPECT_EQ(std::tuple(font.face, font.pointSize, font.weight, font.charset),
              std::tuple(u"ＭＳ Ｐゴシック", 9, 700, 128));
    EXPECT_EQ(Control(about, "lblVersion")->control.font.face, u"");
    for (const char* black : {"lblTitle", "lblDescription", "lblDisclaimer"}) {
      EXPECT_EQ(Control(about, black)->control.foreColor, 0x000000u) << black;
    }
    EXPECT_EQ(Control(about, "lblVersion")->control.foreColor, host::kSystemColor);
  });
}

}  // namespace
