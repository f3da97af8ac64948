// The toolkit's own rules, on small forms made for the test: error traps,
// the end of the program, modal forms and the twips <-> pixels conversion.
#include <gtest/gtest.h>

#include <exception>
#include <functional>
#include <memory>
#include <new>
#include <stdexcept>

#include "host/sim/sim_os.h"
#include "host/toolkit.h"

namespace {

using host::Text;

host::FormDesign TestDesign(const Text& caption) {
  host::FormDesign design;
  design.window.caption = caption;
  design.clientWidthTwips = 1500;
  design.clientHeightTwips = 750;
  return design;
}

host::ControlSpec ButtonSpec(const std::string& name) {
  host::ControlSpec desc;
  desc.kind = host::ControlKind::Button;
  desc.name = name;
  desc.rect = {150, 150, 1215, 375};
  return desc;
}

class TestForm : public host::Form {
 public:
  explicit TestForm(const Text& caption)
      : host::Form(TestDesign(caption)),
        Raise(*this, ButtonSpec("Raise")),
        Trapped(*this, ButtonSpec("Trapped")),
        Fault(*this, ButtonSpec("Fault")) {
    Raise.onClick = [] { throw host::RuntimeError(host::ErrorCode::DivisionByZero); };
    Fault.onClick = [this] { std::rethrow_exception(fault); };
    Trapped.onClick = [this] {
      host::Trap([this] {
        ++trappedRuns;
        throw host::RuntimeError(host::ErrorCode::FileNotFound);
      });
    };
  }
  void Form_Ending() override {
    ++endings;
    boxesAtEnding = host::TheOs().OnInterfaceThread() ? messageBoxes() : -1;
  }
  void Form_Unload(std::int16_t& cancel) override { cancel = refuseUnload ? -1 : 0; }

  host::Button Raise;
  host::Button Trapped;
  host::Button Fault;
  std::exception_ptr fault;
  std::function<int()> messageBoxes = [] { return 0; };
  int trappedRuns = 0;
  int endings = 0;
  int boxesAtEnding = -1;
  bool refuseUnload = false;
};

struct ToolkitRun {
  sim::SimOs os;
  TestForm main{u"main"};
  TestForm dialog{u"dialog"};
  host::Program program{os};
  void Start() {
    os.Start([this] {
      program.RunMain([this] {
        host::Load(main);
        host::Show(main);
      });
    });
  }
};

TEST(Toolkit, ControlsArePlacedInPixelsFromTheRealDpi) {
  ToolkitRun run;
  run.os.dpi = 144;
  run.Start();
  const sim::Window& button = *run.os.Control(run.main.hWnd(), "Raise");
  EXPECT_EQ(button.bounds, (host::RectPx{15, 15, 122, 38}));  // twips * 144 / 1440
  EXPECT_FLOAT_EQ(run.main.ScaleWidth(), 1500);
  EXPECT_FLOAT_EQ(host::Screen().TwipsPerPixelX(), 10);
  EXPECT_FLOAT_EQ(host::Screen().Width(), 8000);
}

TEST(Toolkit, ErrorNoTrapCatchesIsReportedAndEndsTheProgram) {
  ToolkitRun run;
  run.Start();
  run.os.Click(run.os.Control(run.main.hWnd(), "Trapped")->id);
  EXPECT_EQ(run.main.trappedRuns, 1);
  EXPECT_FALSE(run.os.Exited());
  EXPECT_TRUE(run.os.messageBoxes.empty());

  run.os.Click(run.os.Control(run.main.hWnd(), "Raise")->id);
  ASSERT_EQ(run.os.messageBoxes.size(), 1u);
  EXPECT_EQ(run.os.messageBoxes[0].text, u"実行時エラー '11'");
  EXPECT_TRUE(run.os.Exited());
  EXPECT_EQ(run.main.endings, 1);  // the loaded form still gets its last word
}

TEST(Toolkit, AnyExceptionEndsTheProgramWithTheDesktopBackBeforeTheMessage) {
  const struct {
    const char* name;
    std::exception_ptr fault;
    const char16_t* message;
  } cases[] = {
      {"logic error", std::make_exception_ptr(std::logic_error("x")), u"実行時エラー '51'"},
      {"no memory", std::make_exception_ptr(std::bad_alloc()), u"実行時エラー '7'"},
      {"not an exception", std::make_exception_ptr(42), u"実行時エラー '51'"}};
  for (const auto& c : cases) {
    ToolkitRun run;
    run.main.fault = c.fault;
    run.main.messageBoxes = [&] { return static_cast<int>(run.os.messageBoxes.size()); };
    run.Start();
    run.os.Click(run.os.Control(run.main.hWnd(), "Fault")->id);
    EXPECT_TRUE(run.os.Exited()) << c.name;
    ASSERT_EQ(run.os.messageBoxes.size(), 1u) << c.name;
    EXPECT_EQ(run.os.messageBoxes[0].text, c.message) << c.name;
    EXPECT_EQ(run.main.boxesAtEnding, 0) << c.name;  // given back before the box
    const auto calls = run.os.Calls({"SetVisible", "MessageBox"});
    EXPECT_EQ(calls.end()[-2], "SetVisible(" + std::to_string(run.main.hWnd()) + ", false)")
        << c.name;
  }
}

TEST(Toolkit, AMessageLoopThatEndsOnItsOwnEndsTheProgram) {
  sim::SimOs os;
  TestForm form{u"main"};
  os.Start([&] { host::RunProgram(os, [&] { host::Show(form); }); });
  EXPECT_TRUE(os.Exited());
  EXPECT_EQ(form.endings, 1);
}

TEST(Toolkit, UnloadingTheLastFormEndsTheProgramUnlessRefused) {
  ToolkitRun run;
  run.Start();
  run.main.refuseUnload = true;
  run.os.Close(run.main.hWnd());
  EXPECT_FALSE(run.os.Exited());
  run.main.refuseUnload = false;
  run.os.Close(run.main.hWnd());
  EXPECT_TRUE(run.os.Exited());
  EXPECT_EQ(run.main.endings, 0);  // it was unloaded before the end
}

TEST(Toolkit, ModalFormDisablesTheOthersUntilItCloses) {
  ToolkitRun run;
  run.Start();
  const host::WindowId main = run.main.hWnd();
  bool mainEnabledMeanwhile = true;
  run.os.modalActions.push_back([&] {
    mainEnabledMeanwhile = run.os.Find(main)->enabled;
    run.os.Click(run.os.Control(main, "Trapped")->id);  // a disabled window takes no input
    run.os.Close(run.dialog.hWnd());
  });
  run.os.Start([&] { run.program.RunMain([&] { host::Show(run.dialog, host::vbModal); }); });
  EXPECT_FALSE(mainEnabledMeanwhile);
  EXPECT_EQ(run.main.trappedRuns, 0);
  EXPECT_TRUE(run.os.Find(main)->enabled);
  EXPECT_FALSE(run.dialog.IsLoaded());
  EXPECT_FALSE(run.os.Exited());
}

TEST(Toolkit, EndRunsEachLoadedFormsLastWordOnce) {
  ToolkitRun run;
  run.Start();
  run.os.EndSession();
  run.os.EndSession();
  EXPECT_TRUE(run.os.Exited());
  EXPECT_EQ(run.main.endings, 1);
}

// Both backends get the same arguments: what Shell refuses never reaches
// the operating system.
TEST(Toolkit, ShellRefusesAnEmptyOrQuotedPathAndUnknownWindowStyles) {
  ToolkitRun run;
  run.Start();
  run.os.files[u"C:\\Tools\\a.exe"] = {};
  run.os.files[u"C:\\Tools\\\"a.exe"] = {};
  auto refused = [](const Text& path, int style) {
    try {
      host::Shell(path, style);
    } catch (const host::RuntimeError& error) {
      return error.code() == host::ErrorCode::InvalidArgument;
    }
    return false;
  };
  EXPECT_TRUE(refused(u"", host::vbNormalFocus));
  EXPECT_TRUE(refused(u"C:\\Tools\\\"a.exe", host::vbNormalFocus));
  for (int style : {-1, 5, 7}) EXPECT_TRUE(refused(u"C:\\Tools\\a.exe", style)) << style;
  EXPECT_TRUE(run.os.Calls({"Shell"}).empty());

  for (int style : {host::vbHide, host::vbNormalFocus, host::vbMinimizedFocus,
                    host::vbMaximizedFocus, host::vbNormalNoFocus, host::vbMinimizedNoFocus}) {
    EXPECT_NE(host::Shell(u"C:\\Tools\\a.exe", style), 0u) << style;
  }
  EXPECT_EQ(run.os.Calls({"Shell"}).size(), 6u);
}

}  // namespace
