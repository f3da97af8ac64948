// The configuration dialog: its caption, menu and placement, the ways it ends, the
// modal About box and the box's System Information launcher.
#include <gtest/gtest.h>

#include <tuple>
#include <utility>

#include "dialogs/form2.h"
#include "support/sim_run.h"

namespace {

using About = dialogs::SFrm_About;
using Bytes = std::vector<std::uint8_t>;
using host::RectPx;
using host::WindowId;
using testing_support::Lines;

struct DialogRun : testing_support::FormRun<dialogs::Form2> {
  // Chooses Help > version information; `whileOpen` runs inside the About
  // box's modal loop, which the box's OK button then ends if still open.
  void WithAboutBox(const std::function<void(About&)>& whileOpen) {
    os.modalActions.push_back([&] {
      About& about = *form.About();
      whileOpen(about);
      if (about.IsLoaded()) Click(about, "cmdOK");
    });
    os.ChooseMenu(form.hWnd(), form.MENU_Version.Id());
  }
};

// The task bar, the styles and the focus are checked under Wine. Every control of both forms:
// its caption, tab index and place, and the client area they sit in, in pixels from the screen's
// own twips per pixel, each edge rounded halves up.
TEST(Dialog, IsLaidOutFromTheScreenDpiAndTakesTheTitleOneHelpMenuAndTheDesignFonts) {
  using Layout = std::vector<std::tuple<std::string, std::u16string, RectPx, int>>;
  DialogRun run;
  const auto expectLayout = [&](const host::Form& f, RectPx client, const Layout& controls) {
    EXPECT_EQ(run.os.ClientRect(f.hWnd()), client);
    for (const auto& [name, text, rect, tabIndex] : controls) {
      const sim::Window& control = *run.Control(f, name);
      EXPECT_EQ(std::tuple(control.text, control.bounds, control.control.tabIndex),
                std::tuple(text, rect, tabIndex))
          << name;
    }
  };
  run.os.dpi = 144;  // ten twips to the pixel
  run.Open();
  expectLayout(run.form, {0, 0, 650, 110},  // from 649.5 x 109.5
               {{"Cmd_OK", u"ＯＫ", {516, 12, 122, 38}, 0},
                {"Cmd_Cancel", u"キャンセル", {516, 60, 122, 38}, 1},
                {"Label1", u"設定項目はございません。", {12, 24, 314, 26}, 2}});
  EXPECT_FLOAT_EQ(host::Screen().TwipsPerPixelX(), 10);
  EXPECT_FLOAT_EQ(host::Screen().Width(), 8000);
  const sim::Window& w = *run.os.Find(run.form.hWnd());
  EXPECT_EQ(w.text, u"ZARVO");
  // The caption is the title before the window is first shown.
  EXPECT_EQ(run.os.Calls({"SetText", "SetVisible"}).at(0).rfind("SetText(", 0), 0u);
  const auto& menus = w.form.menus;
  ASSERT_EQ(menus.size(), 2u);
  EXPECT_EQ(std::tuple(menus[0].caption, menus[0].parent), std::tuple(u"ヘルプ(&H)", -1));
  EXPECT_EQ(std::tuple(menus[1].caption, menus[1].parent, menus[1].id),
            std::tuple(u"バージョン情報(&V)...", menus[0].id, run.form.MENU_Version.Id()));
  run.WithAboutBox([&](About& about) {
    expectLayout(about, {0, 0, 611, 288},
                 {{"picIcon", u"", {24, 24, 48, 48}, 1},
                  {"cmdOK", u"OK", {456, 198, 138, 35}, 0},
                  {"cmdSysInfo", u"ｼｽﾃﾑ情報(&S)...", {456, 240, 138, 35}, 2},
                  {"lblLegalCopyright", u"(C) Test\r\nAll rights reserved.", {18, 120, 582, 45}, 8},
                  {"lblCompanyName", u"Test Company", {18, 93, 576, 23}, 7},
                  {"lblDescription", u"ｱﾌﾟﾘｹｰｼｮﾝの説明", {102, 342, 389, 117}, 3},
                  {"lblTitle", u"ZARVO", {105, 24, 491, 29}, 5},
                  {"lblVersion", u"ﾊﾞｰｼﾞｮﾝ 1.0.0", {105, 60, 491, 23}, 6},
                  {"lblDisclaimer", u"", {18, 216, 423, 53}, 4}});
    const sim::Window& box = *run.os.Find(about.hWnd());
    EXPECT_EQ(std::tuple(box.text, box.form.menus.size()), std::tuple(u"ZARVOのﾊﾞｰｼﾞｮﾝ情報", 0u));
    const host::FontSpec& font = run.Control(about, "lblTitle")->control.font;
    EXPECT_EQ(std::tuple(font.face, font.pointSize, font.weight, font.charset),
              std::tuple(u"ＭＳ Ｐゴシック", 9, 700, 128));
    for (const char* black : {"lblTitle", "lblDescription", "lblDisclaimer"}) {
      EXPECT_EQ(run.Control(about, black)->control.foreColor, 0x000000u) << black;
    }
    EXPECT_EQ(run.Control(about, "lblVersion")->control.foreColor, host::kSystemColor);
  });
}

// Each run opens the About box twice, modal over the dialog, loading it
// afresh and reading the version each time; each way of closing it leaves a
// working dialog. The run then leaves the dialog, one way each; keys go to
// Cmd_OK, where the focus starts: Enter presses the default and Esc the
// cancel button.
TEST(Dialog, AboutBoxClosesAnyWayAndEachWayOfLeavingEndsTheProgramWritingNothing) {
  const std::function<void(DialogRun&, About&)> closes[] = {
      [](DialogRun& r, About& about) { r.Click(about, "cmdOK"); },
      [](DialogRun& r, About& about) { r.os.Close(about.hWnd()); },
      [](DialogRun& r, About& about) { r.os.KeyDown(about.hWnd(), 13); },
      [](DialogRun& r, About& about) { r.os.KeyDown(about.hWnd(), 27); }};
  const std::pair<const char*, std::function<void(DialogRun&)>> leaves[] = {
      {"OK", [](DialogRun& r) { r.Click(r.form, "Cmd_OK"); }},
      {"Cancel", [](DialogRun& r) { r.Click(r.form, "Cmd_Cancel"); }},
      {"close box", [](DialogRun& r) { r.os.Close(r.form.hWnd()); }},
      {"Enter", [](DialogRun& r) { r.os.KeyDown(r.Control(r.form, "Cmd_OK")->id, 13); }},
      {"Esc", [](DialogRun& r) { r.os.KeyDown(r.Control(r.form, "Cmd_OK")->id, 27); }}};
  int opening = 0;
  for (const auto& [name, leave] : leaves) {
    SCOPED_TRACE(name);
    DialogRun run;
    run.Open();
    const WindowId dialog = run.form.hWnd();
    WindowId box = 0;
    for (const char16_t* version : {u"ﾊﾞｰｼﾞｮﾝ 1.0.0", u"ﾊﾞｰｼﾞｮﾝ 2.0.0"}) {
      run.WithAboutBox([&](About& about) {
        EXPECT_NE(std::exchange(box, about.hWnd()), about.hWnd());
        EXPECT_FALSE(run.os.Find(dialog)->enabled);
        EXPECT_EQ(run.Control(about, "lblVersion")->text, version);
        closes[opening++ % 4](run, about);
        EXPECT_FALSE(about.IsLoaded()) << opening;
      });
      EXPECT_TRUE(run.os.Find(dialog)->enabled && !run.os.Exited());
      run.os.version.major = 2;
    }
    leave(run);
    EXPECT_TRUE(run.os.Exited() && run.os.Find(dialog) == nullptr && run.os.messageBoxes.empty());
    // Nothing that could leave something behind on the system.
    EXPECT_TRUE(
        run.os.Calls({"RegOpenKeyExA", "RegQueryValueExA", "Shell", "SystemParametersInfoA"})
            .empty());
    EXPECT_EQ(run.os.Calls({"ExitProcess"}).size(), 1u);
  }
}

constexpr char kToolKey[] = "HKLM\\SOFTWARE\\MICROSOFT\\SHARED TOOLS\\MSINFO";
constexpr char kFolderKey[] = "HKLM\\SOFTWARE\\MICROSOFT\\SHARED TOOLS LOCATION";
constexpr char16_t kTool[] = u"C:\\Program Files\\Common Files\\MSInfo\\msinfo32.exe";
constexpr char16_t kFolderTool[] = u"C:\\Tools\\MSInfo\\MSINFO32.EXE";

Bytes Sz(const std::u16string& text) {
  const std::string utf8 = host::ToUtf8(text);
  return Bytes(utf8.c_str(), utf8.c_str() + utf8.size() + 1);  // with its NUL
}

std::string Quoted(const std::string& call, const std::u16string& path) {
  return call + "(\"" + host::ToUtf8(path) + "\"";
}

using Value = std::pair<const char*, sim::RegistryValue>;  // the value's name, type and data

struct SysInfoRun : DialogRun {
  SysInfoRun() { Open(); }
  ~SysInfoRun() { EXPECT_EQ(os.openRegistryKeys, 0) << "a key was left open"; }
  void Put(const char* key, const Value& v) { os.registry[key].values[v.first] = v.second; }
};

// Each key is opened for reading only. The cases run in one process, each on a
// new dialog: nothing found or missed is remembered from one to the next.
TEST(DialogSysInfo, WhichValueLeadsWhere) {
  const std::vector<std::string> tool = {Quoted("Shell", kTool) + ", 1)",
                                         Quoted("IsNormalFile", kTool) + ")"};
  const std::string folderLook = Quoted("IsNormalFile", kFolderTool) + ")";
  const std::vector<std::string> viaFolder = {folderLook, Quoted("Shell", kFolderTool) + ", 1)",
                                              folderLook};
  const Value path = {"PATH", {1, Sz(kTool)}}, folder = {"MSINFO", {1, Sz(u"C:\\Tools\\MSInfo")}};
  const std::string full(1024, 'A');
  const struct {
    const char* name;
    std::optional<Value> tool, folder;
    std::vector<std::u16string> files;
    std::size_t opens;
    std::vector<std::string> fileCalls;  // IsNormalFile and Shell, in order
    bool launched;
  } cases[] = {
      // clang-format off
      // The first look at the file system is Shell's own, normal with the focus.
      {"first value names a file", path, folder, {kTool}, 1, tool, true},
      {"first value's file missing: no second try", path, folder, {kFolderTool}, 1, tool, false},
      {"no first value: the second folder's tool",
       std::nullopt, folder, {kFolderTool}, 2, viaFolder, true},
      {"second folder without the tool", std::nullopt, folder, {}, 2, {folderLook}, false},
      {"neither value", std::nullopt, std::nullopt, {}, 2, {}, false},
      {"a value of exactly the buffer size is read", Value{"PATH", {1, Bytes(1024, 'A')}}, folder,
       {}, 1, {"Shell(\"" + full + "\", 1)", "IsNormalFile(\"" + full + "\")"}, false},
      {"a value longer than the buffer counts as absent",
       Value{"PATH", {1, Bytes(1025, 'A')}}, folder, {kFolderTool}, 2, viaFolder, true},
      // Read, so the second is not tried; the empty path is refused before Shell.
      {"an unhandled type: no path", Value{"PATH", {2, Sz(kTool)}}, folder, {kTool}, 1, {}, false},
      // No retry after the error, and the key is closed.
      {"a value without data", Value{"PATH", {1, {}}}, folder, {kFolderTool}, 1, {}, false},
      // clang-format on
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    SysInfoRun run;
    if (c.tool) run.Put(kToolKey, *c.tool);
    if (c.folder) run.Put(kFolderKey, *c.folder);
    for (const std::u16string& file : c.files) run.os.files[file] = sim::File{};
    run.WithAboutBox([&](About& about) { run.Click(about, "cmdSysInfo"); });
    EXPECT_FALSE(run.os.Exited());
    const Lines opens = run.os.Calls({"RegOpenKeyExA"});
    EXPECT_EQ(opens.size(), c.opens);
    for (const std::string& open : opens) EXPECT_TRUE(open.ends_with(", 0, 131097)")) << open;
    EXPECT_EQ(run.os.Calls({"IsNormalFile", "Shell"}), c.fileCalls);
    EXPECT_EQ(run.os.launched.size(), c.launched ? 1u : 0u);
    EXPECT_EQ(run.os.messageBoxes.size(), c.launched ? 0u : 1u);
    for (const sim::MessageBoxCall& box : run.os.messageBoxes) {
      EXPECT_EQ(std::tuple(box.text, box.caption, box.flags),
                std::tuple(u"この環境ではシステム情報を使用できません。", u"ZARVO", 0u));
    }
  }
}

TEST(DialogSysInfo, GetKeyValueEmptiesTheTextOnlyWhenItFails) {
  SysInfoRun run;
  About about;
  const auto get = [&](std::int32_t root, const char16_t* key, const char16_t* name) {
    std::u16string value = u"kept";
    const bool found = about.GetKeyValue(root, key, name, value);
    return std::tuple(found, value);
  };
  const std::int32_t hklm = dialogs::kHkeyLocalMachine,
                     hkcu = static_cast<std::int32_t>(0x80000001u);
  run.Put(kToolKey, {"PATH", {2, Sz(kTool)}});
  EXPECT_EQ(get(hklm, dialogs::kToolKey, dialogs::kToolValue), std::tuple(true, u"kept"));
  EXPECT_EQ(get(hklm, dialogs::kToolKey, u"MISSING"), std::tuple(false, u""));
  EXPECT_EQ(get(hklm, dialogs::kFolderKey, dialogs::kFolderValue), std::tuple(false, u""));
  EXPECT_EQ(get(hkcu, dialogs::kToolKey, dialogs::kToolValue), std::tuple(false, u""));
}

}  // namespace
