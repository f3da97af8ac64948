// The toolkit on a test form: error traps, the end of the program, Shell.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <new>
#include <stdexcept>
#include <thread>
#include <tuple>

#include "dialogs/control_specs.h"
#include "support/sim_run.h"

namespace {

using host::Text;

// Fault throws `fault` outside any trap (what a trap catches is seen in
// the picture cycle's tests).
class TestForm : public host::Form {
 public:
  TestForm()
      : host::Form(host::FormDesign{}),
        Fault(*this, dialogs::design::Button("Fault", u"", {0, 0, 1200, 375}, 0, false, false)) {
    Fault.onClick = [this] { std::rethrow_exception(fault); };
  }
  void Form_Ending() override {
    onEnding();
    ++endings;
    boxesAtEnding =
        host::TheOs().OnInterfaceThread()
            ? static_cast<int>(static_cast<sim::SimOs&>(host::TheOs()).messageBoxes.size())
            : -1;
  }
  void Form_Unload(std::int16_t& cancel) override { cancel = refuseUnload ? -1 : 0; }

  host::Button Fault;
  std::exception_ptr fault;
  std::function<void()> onEnding = [] {};
  int endings = 0, boxesAtEnding = -1;
  bool refuseUnload = false;
};

using ToolkitRun = testing_support::FormRun<TestForm>;

// The loaded form has its last word, the desktop back, before the message.
TEST(Toolkit, AnyErrorNoTrapCatchesIsReportedUnderItsCodeAndEndsTheProgram) {
  const struct {
    const char* name;
    std::exception_ptr fault;
    const char16_t* message;
  } cases[] = {
      {"run-time error",
       std::make_exception_ptr(host::RuntimeError(host::ErrorCode::DivisionByZero)),
       u"実行時エラー '11'"},
      {"logic error", std::make_exception_ptr(std::logic_error("x")), u"実行時エラー '51'"},
      {"no memory", std::make_exception_ptr(std::bad_alloc()), u"実行時エラー '7'"}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    ToolkitRun run;
    run.form.fault = c.fault;
    run.Open();
    run.Click(run.form, "Fault");
    EXPECT_TRUE(run.os.Exited());
    ASSERT_EQ(run.os.messageBoxes.size(), 1u);
    EXPECT_EQ(run.os.messageBoxes[0].text, c.message);
    EXPECT_EQ(std::tuple(run.form.endings, run.form.boxesAtEnding), std::tuple(1, 0));
    EXPECT_EQ(run.os.Calls({"SetVisible", "MessageBox"}).end()[-2],
              testing_support::Call("SetVisible", run.form.hWnd(), "false"));
  }
}

// A fault on one thread while another gives the desktop back: the process
// ends only once what is under way is done.
TEST(Toolkit, ALaterLastWordWaitsForTheOneUnderWay) {
  ToolkitRun run;
  std::atomic<bool> entered{false}, secondCalls{false}, firstDone{false};
  run.form.onEnding = [&] {
    entered = true;
    while (!secondCalls) std::this_thread::yield();
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    firstDone = true;
  };
  run.Open();
  std::thread first([] { host::GiveBackAfterFault(); });
  while (!entered) std::this_thread::yield();
  secondCalls = true;
  host::GiveBackAfterFault();
  EXPECT_TRUE(firstDone);
  first.join();
  EXPECT_EQ(run.form.endings, 1);
}

TEST(Toolkit, UnloadingTheLastFormEndsTheProgramUnlessRefused) {
  ToolkitRun run;
  run.Open();
  run.form.refuseUnload = true;
  run.os.Close(run.form.hWnd());
  EXPECT_FALSE(run.os.Exited());
  run.form.refuseUnload = false;
  run.os.Close(run.form.hWnd());
  EXPECT_TRUE(run.os.Exited());
  EXPECT_EQ(run.form.endings, 0);  // it was unloaded before the end
}

// Both backends get the same arguments: what Shell refuses never reaches
// the operating system.
TEST(Toolkit, ShellRefusesAnEmptyOrQuotedPathAndUnknownWindowStyles) {
  ToolkitRun run;
  run.Open();
  const Text tool = u"C:\\Tools\\a.exe", quoted = u"C:\\Tools\\\"a.exe";
  run.os.files[tool] = run.os.files[quoted] = {};
  const std::pair<Text, int> refused[] = {
      {u"", host::vbNormalFocus}, {quoted, host::vbNormalFocus}, {tool, -1}, {tool, 5}, {tool, 7}};
  for (const auto& [path, style] : refused) {
    EXPECT_THROW(host::Shell(path, style), host::RuntimeError) << style;
  }
  EXPECT_TRUE(run.os.Calls({"Shell"}).empty());
  for (int style : {host::vbHide, host::vbNormalFocus, host::vbMinimizedFocus,
                    host::vbMaximizedFocus, host::vbNormalNoFocus, host::vbMinimizedNoFocus}) {
    EXPECT_NE(host::Shell(tool, style), 0u) << style;
  }
  EXPECT_EQ(run.os.Calls({"Shell"}).size(), 6u);
}

}  // namespace
