// The System Information launcher: which registry value leads where, read-only keys.
#include <gtest/gtest.h>

#include <tuple>

#include "support/dialog_run.h"

namespace {

using Bytes = std::vector<std::uint8_t>;

constexpr char kToolKey[] = "HKLM\\SOFTWARE\\MICROSOFT\\SHARED TOOLS\\MSINFO";
constexpr char kFolderKey[] = "HKLM\\SOFTWARE\\MICROSOFT\\SHARED TOOLS LOCATION";
constexpr char16_t kMessage[] = u"この環境ではシステム情報を使用できません。";
constexpr char16_t kTool[] = u"C:\\Program Files\\Common Files\\MSInfo\\msinfo32.exe";
constexpr char16_t kFolderTool[] = u"C:\\Tools\\MSInfo\\MSINFO32.EXE";

Bytes Sz(const std::string& text) {
  Bytes bytes(text.begin(), text.end());
  bytes.push_back(0);
  return bytes;
}
Bytes Sz(const std::u16string& text) { return Sz(host::ToUtf8(text)); }

std::string Quoted(const std::string& call, const std::u16string& path) {
  return call + "(\"" + host::ToUtf8(path) + "\"";
}

struct Value {
  const char* name;
  std::uint32_t type;
  Bytes data;
};

struct SysInfoRun : testing_support::DialogRun {
  SysInfoRun() { Open(); }
  ~SysInfoRun() { EXPECT_EQ(os.openRegistryKeys, 0) << "a key was left open"; }
  void Put(const char* key, const Value& v) {
    os.registry[key].values[v.name] = sim::RegistryValue{v.type, v.data};
  }
  // Clicks cmdSysInfo `clicks` times in a freshly opened About box, then
  // closes the box; `between` runs between two clicks.
  void ClickSysInfo(
      int clicks = 1, const std::function<void()>& between = [] {}) {
    WithAboutBox([&](dialogs::SFrm_About& about) {
      for (int i = 0; i < clicks; ++i) {
        if (i > 0) between();
        Click(about, "cmdSysInfo");
      }
    });
    EXPECT_FALSE(os.Exited());
  }
  bool Messaged() const {
    return os.messageBoxes.size() == 1 && os.messageBoxes[0].text == kMessage &&
           os.messageBoxes[0].caption == u"ZARVO" && os.messageBoxes[0].flags == 0;
  }
};

TEST(DialogSysInfo, WhichValueLeadsWhere) {
  const std::vector<std::string> tool = {Quoted("Shell", kTool) + ", 1)",
                                         Quoted("IsNormalFile", kTool) + ")"};
  const std::string folderLook = Quoted("IsNormalFile", kFolderTool) + ")";
  const std::vector<std::string> viaFolder = {folderLook, Quoted("Shell", kFolderTool) + ", 1)",
                                              folderLook};
  const Value path = {"PATH", 1, Sz(kTool)}, folder = {"MSINFO", 1, Sz(u"C:\\Tools\\MSInfo")};
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
      {"first key without the value: the second folder's tool",
       Value{"OTHER", 1, Sz("x")}, folder, {kFolderTool}, 2, viaFolder, true},
      {"second folder without the tool", std::nullopt, folder, {}, 2, {folderLook}, false},
      {"second folder ending in a backslash is used as read",
       std::nullopt, Value{"MSINFO", 1, Sz(u"C:\\Tools\\")}, {u"C:\\Tools\\MSINFO32.EXE"}, 2,
       {"IsNormalFile(\"C:\\Tools\\\\MSINFO32.EXE\")"}, false},
      {"neither value", std::nullopt, std::nullopt, {}, 2, {}, false},
      {"a value of exactly the buffer size is read", Value{"PATH", 1, Bytes(1024, 'A')}, folder,
       {}, 1, {"Shell(\"" + full + "\", 1)", "IsNormalFile(\"" + full + "\")"}, false},
      {"a value longer than the buffer counts as absent",
       Value{"PATH", 1, Bytes(1025, 'A')}, folder, {kFolderTool}, 2, viaFolder, true},
      // Read, so the second is not tried; the empty path is refused before Shell.
      {"an unhandled type: no path", Value{"PATH", 2, Sz(kTool)}, folder, {kTool}, 1, {}, false},
      {"a number is never a usable path", Value{"PATH", 4, {0x0B, 0x0A, 0x05, 0x00}}, std::nullopt,
       {}, 1, {"Shell(\"&h050A0B\", 1)", "IsNormalFile(\"&h050A0B\")"}, false},
      // No retry after the error, and the key is closed.
      {"a value without data", Value{"PATH", 1, {}}, folder, {kFolderTool}, 1, {}, false},
      // clang-format on
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    SysInfoRun run;
    if (c.tool) run.Put(kToolKey, *c.tool);
    if (c.folder) run.Put(kFolderKey, *c.folder);
    for (const std::u16string& file : c.files) run.os.files[file] = sim::File{};
    run.ClickSysInfo();
    EXPECT_EQ(run.os.Calls({"RegOpenKeyExA"}).size(), c.opens);
    EXPECT_EQ(run.os.Calls({"IsNormalFile", "Shell"}), c.fileCalls);
    EXPECT_EQ(run.os.launched.size(), c.launched ? 1u : 0u);
    EXPECT_EQ(run.Messaged(), !c.launched);
  }
}

TEST(DialogSysInfo, KeysAreOpenedForReadingOnlyAndTheNamedValueIsQueried) {
  SysInfoRun run;
  run.Put(kFolderKey, {"MSINFO", 1, Sz(u"C:\\Tools\\MSInfo")});
  run.ClickSysInfo();
  const std::string open = "RegOpenKeyExA(2147483650, \"SOFTWARE\\Microsoft\\Shared Tools";
  EXPECT_EQ(run.os.Calls({"RegOpenKeyExA"}),
            (std::vector<std::string>{open + "\\MSINFO\", 0, 131097)",
                                      open + " Location\", 0, 131097)"}));
  const auto queries = run.os.Calls({"RegQueryValueExA"});
  ASSERT_EQ(queries.size(), 1u);
  EXPECT_NE(queries[0].find(", \"MSINFO\", 1024)"), std::string::npos) << queries[0];
}

TEST(DialogSysInfo, EachClickLooksAgainAndShowsOneMessage) {
  SysInfoRun run;
  run.ClickSysInfo(2, [&] {
    run.Put(kToolKey, {"PATH", 1, Sz(kTool)});
    run.os.files[kTool] = sim::File{};
  });
  EXPECT_EQ(run.os.messageBoxes.size(), 1u);
  EXPECT_EQ(run.os.launched, (std::vector<std::u16string>{kTool}));
}

TEST(DialogSysInfo, GetKeyValueEmptiesTheTextOnlyWhenItFails) {
  SysInfoRun run;
  dialogs::SFrm_About about;
  const auto get = [&](std::int32_t root, const char16_t* key, const char16_t* name) {
    std::u16string value = u"kept";
    const bool found = about.GetKeyValue(root, key, name, value);
    return std::tuple(found, value);
  };
  const std::int32_t hklm = dialogs::kHkeyLocalMachine,
                     hkcu = static_cast<std::int32_t>(0x80000001u);
  run.Put(kToolKey, {"PATH", 2, Sz(kTool)});
  EXPECT_EQ(get(hklm, dialogs::kToolKey, dialogs::kToolValue), std::tuple(true, u"kept"));
  EXPECT_EQ(get(hklm, dialogs::kToolKey, u"MISSING"), std::tuple(false, u""));
  EXPECT_EQ(get(hklm, dialogs::kFolderKey, dialogs::kFolderValue), std::tuple(false, u""));
  EXPECT_EQ(get(hkcu, dialogs::kToolKey, dialogs::kToolValue), std::tuple(false, u""));
}

}  // namespace
