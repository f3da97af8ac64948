// The About box's System Information launcher on the simulated registry and
// files: which value leads where, what a value's data makes of the path,
// and that the keys are only ever opened for reading.
#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "dialogs/form2.h"
#include "dialogs/sfrm_about.h"
#include "host/sim/sim_os.h"
#include "host/toolkit.h"

namespace {

using Bytes = std::vector<std::uint8_t>;
using host::WindowId;

constexpr char kToolKey[] = "HKLM\\SOFTWARE\\MICROSOFT\\SHARED TOOLS\\MSINFO";
constexpr char kFolderKey[] = "HKLM\\SOFTWARE\\MICROSOFT\\SHARED TOOLS LOCATION";
constexpr char16_t kMessage[] = u"この環境ではシステム情報を使用できません。";
constexpr char16_t kTool[] = u"C:\\Program Files\\Common Files\\MSInfo\\msinfo32.exe";
constexpr char16_t kFolder[] = u"C:\\Tools\\MSInfo";

Bytes Sz(const std::string& text) {
  Bytes bytes(text.begin(), text.end());
  bytes.push_back(0);
  return bytes;
}
Bytes Sz(const std::u16string& text) { return Sz(host::ToUtf8(text)); }

class DialogSysInfo : public ::testing::Test {
 protected:
  sim::SimOs os;
  host::Program program{os};
  dialogs::Form2 form;

  void SetUp() override {
    os.Start([&] {
      program.RunMain([&] {
        host::Load(form);
        host::Show(form);
      });
    });
  }
  void Put(const char* key, const char* name, std::uint32_t type, Bytes data) {
    os.registry[key].values[name] = sim::RegistryValue{type, std::move(data)};
  }
  void PutTool(Bytes data, std::uint32_t type = 1) { Put(kToolKey, "PATH", type, std::move(data)); }
  void PutFolder(Bytes data, std::uint32_t type = 1) {
    Put(kFolderKey, "MSINFO", type, std::move(data));
  }
  void AddFile(const std::u16string& path) { os.files[path] = sim::File{}; }

  // Clicks cmdSysInfo in a freshly opened About box, then closes the box.
  void ClickSysInfo() {
    os.modalActions.push_back([&] {
      dialogs::SFrm_About& about = *form.About();
      os.Click(os.Control(about.hWnd(), "cmdSysInfo")->id);
      os.Click(os.Control(about.hWnd(), "cmdOK")->id);
    });
    os.ChooseMenu(form.hWnd(), form.MENU_Version.Id());
    ASSERT_FALSE(os.Exited());
  }
  std::vector<std::string> Opens() const { return os.Calls({"RegOpenKeyExA"}); }
  std::vector<std::string> Queries() const { return os.Calls({"RegQueryValueExA"}); }
  bool Messaged() const {
    return os.messageBoxes.size() == 1 && os.messageBoxes[0].text == kMessage &&
           os.messageBoxes[0].caption == u"ZARVO" && os.messageBoxes[0].flags == 0;
  }
  void TearDown() override { EXPECT_EQ(os.openRegistryKeys, 0) << "a key was left open"; }
};

// ------------------------------------------------------ the two lookups

TEST_F(DialogSysInfo, FirstValueNamingAFileStartsItAsReadWithoutAnExistenceTest) {
  PutTool(Sz(kTool));
  PutFolder(Sz(kFolder));
  AddFile(kTool);
  ClickSysInfo();
  EXPECT_EQ(os.launched, (std::vector<std::u16string>{kTool}));
  EXPECT_TRUE(os.messageBoxes.empty());
  EXPECT_EQ(Opens().size(), 1u) << "the second value is never read";
  // The first look at the file system is Shell's own.
  const auto fileCalls = os.Calls({"IsNormalFile", "Shell"});
  ASSERT_FALSE(fileCalls.empty());
  EXPECT_EQ(fileCalls[0].rfind("Shell(", 0), 0u) << fileCalls[0];
  EXPECT_NE(fileCalls[0].find(", 1)"), std::string::npos) << "normal window with the focus";
}

TEST_F(DialogSysInfo, FirstValueNamingAMissingFileGivesTheMessageWithoutTryingTheSecond) {
  PutTool(Sz(kTool));
  PutFolder(Sz(kFolder));
  AddFile(std::u16string(kFolder) + u"\\MSINFO32.EXE");
  ClickSysInfo();
  EXPECT_TRUE(os.launched.empty());
  EXPECT_TRUE(Messaged());
  EXPECT_EQ(Opens().size(), 1u);
}

TEST_F(DialogSysInfo, WithoutTheFirstValueTheSecondFoldersToolIsStarted) {
  PutFolder(Sz(kFolder));
  const std::u16string tool = std::u16string(kFolder) + u"\\MSINFO32.EXE";
  AddFile(tool);
  ClickSysInfo();
  EXPECT_EQ(os.launched, (std::vector<std::u16string>{tool}));
  EXPECT_TRUE(os.messageBoxes.empty());
  EXPECT_EQ(Opens().size(), 2u);
}

TEST_F(DialogSysInfo, FirstKeyWithoutTheValueAlsoFallsBackToTheSecond) {
  Put(kToolKey, "OTHER", 1, Sz("x"));
  PutFolder(Sz(kFolder));
  const std::u16string tool = std::u16string(kFolder) + u"\\MSINFO32.EXE";
  AddFile(tool);
  ClickSysInfo();
  EXPECT_EQ(os.launched, (std::vector<std::u16string>{tool}));
}

TEST_F(DialogSysInfo, SecondFolderWithoutTheToolGivesTheMessage) {
  PutFolder(Sz(kFolder));
  ClickSysInfo();
  EXPECT_TRUE(os.launched.empty());
  EXPECT_TRUE(Messaged());
  EXPECT_EQ(os.Calls({"IsNormalFile"}),
            (std::vector<std::string>{"IsNormalFile(\"C:\\Tools\\MSInfo\\MSINFO32.EXE\")"}));
  EXPECT_TRUE(os.Calls({"Shell"}).empty());
}

TEST_F(DialogSysInfo, AFolderEndingInABackslashIsUsedAsRead) {
  PutFolder(Sz(u"C:\\Tools\\"));
  AddFile(u"C:\\Tools\\MSINFO32.EXE");
  ClickSysInfo();
  EXPECT_EQ(os.Calls({"IsNormalFile"}),
            (std::vector<std::string>{"IsNormalFile(\"C:\\Tools\\\\MSINFO32.EXE\")"}));
  EXPECT_TRUE(Messaged());
}

TEST_F(DialogSysInfo, NeitherValuePresentGivesTheMessage) {
  ClickSysInfo();
  EXPECT_TRUE(Messaged());
  EXPECT_EQ(Opens().size(), 2u);
  EXPECT_TRUE(Queries().empty());
  EXPECT_TRUE(os.Calls({"IsNormalFile", "Shell"}).empty());
}

TEST_F(DialogSysInfo, EachClickLooksAgainAndShowsOneMessage) {
  os.modalActions.push_back([&] {
    const WindowId about = form.About()->hWnd();
    os.Click(os.Control(about, "cmdSysInfo")->id);
    PutTool(Sz(kTool));
    AddFile(kTool);
    os.Click(os.Control(about, "cmdSysInfo")->id);
    os.Click(os.Control(about, "cmdOK")->id);
  });
  os.ChooseMenu(form.hWnd(), form.MENU_Version.Id());
  EXPECT_EQ(os.messageBoxes.size(), 1u);
  EXPECT_EQ(os.launched.size(), 1u);
}

// ------------------------------------------- read rights only (mended)

TEST_F(DialogSysInfo, KeysAreOpenedForReadingOnly) {
  PutFolder(Sz(kFolder));
  ClickSysInfo();
  ASSERT_EQ(Opens().size(), 2u);
  EXPECT_EQ(Opens()[0],
            "RegOpenKeyExA(2147483650, \"SOFTWARE\\Microsoft\\Shared Tools\\MSINFO\", 0, 131097)");
  EXPECT_EQ(Opens()[1],
            "RegOpenKeyExA(2147483650, \"SOFTWARE\\Microsoft\\Shared Tools Location\", 0, 131097)");
  ASSERT_EQ(Queries().size(), 1u);
  EXPECT_NE(Queries()[0].find(", \"MSINFO\", 1024)"), std::string::npos) << Queries()[0];
}

TEST_F(DialogSysInfo, KeysAStandardUserMayNotWriteStillLeadToTheTool) {
  PutTool(Sz(kTool));
  os.registry[kToolKey].writable = false;
  AddFile(kTool);
  ClickSysInfo();
  EXPECT_EQ(os.launched, (std::vector<std::u16string>{kTool}));
  EXPECT_TRUE(os.messageBoxes.empty());

  os.registry.erase(kToolKey);
  PutFolder(Sz(kFolder));
  os.registry[kFolderKey].writable = false;
  AddFile(std::u16string(kFolder) + u"\\MSINFO32.EXE");
  ClickSysInfo();
  EXPECT_EQ(os.launched.size(), 2u);
  EXPECT_TRUE(os.messageBoxes.empty());
}

// ------------------------------------------------------- the value data

TEST_F(DialogSysInfo, ATextStoredWithoutItsTerminatorReadsTheSame) {
  const std::string path = host::ToUtf8(kTool);
  PutTool(Bytes(path.begin(), path.end()));
  AddFile(kTool);
  ClickSysInfo();
  EXPECT_EQ(os.launched, (std::vector<std::u16string>{kTool}));
}

TEST_F(DialogSysInfo, AValueOfExactlyTheBufferSizeIsRead) {
  PutTool(Bytes(1024, 'A'));
  PutFolder(Sz(kFolder));
  ClickSysInfo();
  EXPECT_EQ(Opens().size(), 1u);
  EXPECT_EQ(os.Calls({"Shell"}).at(0).size(), std::string("Shell(\"\", 1)").size() + 1024);
  EXPECT_TRUE(Messaged());
}

TEST_F(DialogSysInfo, AValueLongerThanTheBufferCountsAsAbsent) {
  PutTool(Bytes(1025, 'A'));
  PutFolder(Sz(kFolder));
  const std::u16string tool = std::u16string(kFolder) + u"\\MSINFO32.EXE";
  AddFile(tool);
  ClickSysInfo();
  EXPECT_EQ(Opens().size(), 2u);
  EXPECT_EQ(os.launched, (std::vector<std::u16string>{tool}));
}

TEST_F(DialogSysInfo, AValueWithoutDataGivesTheMessageAndClosesItsKey) {
  PutTool({});
  PutFolder(Sz(kFolder));
  AddFile(std::u16string(kFolder) + u"\\MSINFO32.EXE");
  ClickSysInfo();
  EXPECT_TRUE(Messaged());
  EXPECT_EQ(Opens().size(), 1u) << "no retry after the error";
  EXPECT_EQ(os.Calls({"RegCloseKey"}).size(), 1u);
}

TEST_F(DialogSysInfo, ATextOfOnlyItsTerminatorIsTheEmptyPath) {
  PutTool(Bytes{0});
  PutFolder(Sz(kFolder));
  ClickSysInfo();
  EXPECT_TRUE(os.Calls({"Shell"}).empty()) << "Shell refuses the empty path itself";
  EXPECT_TRUE(Messaged());
  EXPECT_EQ(Opens().size(), 1u);
}

TEST_F(DialogSysInfo, AnUnhandledTypeCountsAsReadButGivesNoPath) {
  PutTool(Sz(kTool), 2 /* REG_EXPAND_SZ */);
  AddFile(kTool);
  PutFolder(Sz(kFolder));
  ClickSysInfo();
  EXPECT_TRUE(os.Calls({"Shell"}).empty()) << "Shell refuses the empty path itself";
  EXPECT_TRUE(os.launched.empty());
  EXPECT_TRUE(Messaged());
  EXPECT_EQ(Opens().size(), 1u);
}

TEST_F(DialogSysInfo, ANumberIsNeverAUsablePath) {
  PutTool(Bytes{0x0B, 0x0A, 0x05, 0x00}, 4 /* REG_DWORD */);
  ClickSysInfo();
  EXPECT_EQ(os.Calls({"Shell"}), (std::vector<std::string>{"Shell(\"&h050A0B\", 1)"}));
  EXPECT_TRUE(Messaged());
}

// ------------------------------------------------- GetKeyValue by itself

TEST_F(DialogSysInfo, GetKeyValueEmptiesTheTextOnlyWhenItFails) {
  dialogs::SFrm_About about;
  const std::int32_t root = dialogs::kHkeyLocalMachine;
  PutTool(Sz(kTool), 2);
  std::u16string value = u"kept";
  EXPECT_TRUE(about.GetKeyValue(root, dialogs::kToolKey, dialogs::kToolValue, value));
  EXPECT_EQ(value, u"kept");

  PutTool(Bytes{0x10, 0x00, 0x00, 0x01}, 4);
  EXPECT_TRUE(about.GetKeyValue(root, dialogs::kToolKey, dialogs::kToolValue, value));
  EXPECT_EQ(value, u"&h01000010");

  EXPECT_FALSE(about.GetKeyValue(root, dialogs::kToolKey, u"MISSING", value));
  EXPECT_EQ(value, u"");
  value = u"kept";
  EXPECT_FALSE(about.GetKeyValue(root, dialogs::kFolderKey, dialogs::kFolderValue, value));
  EXPECT_EQ(value, u"");
  value = u"kept";
  EXPECT_FALSE(about.GetKeyValue(static_cast<std::int32_t>(0x80000001u), dialogs::kToolKey,
                                 dialogs::kToolValue, value));
  EXPECT_EQ(value, u"");
}

TEST_F(DialogSysInfo, GetKeyValueLeavesAValueWithoutDataToItsCaller) {
  dialogs::SFrm_About about;
  PutTool({});
  std::u16string value = u"kept";
  try {
    about.GetKeyValue(dialogs::kHkeyLocalMachine, dialogs::kToolKey, dialogs::kToolValue, value);
    ADD_FAILURE() << "no run-time error";
  } catch (const host::RuntimeError& error) {
    EXPECT_EQ(error.code(), host::ErrorCode::InvalidArgument);
  }
  EXPECT_EQ(value, u"kept");
}

}  // namespace
