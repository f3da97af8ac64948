#include "dialogs/sfrm_about.h"

#include <algorithm>
#include <vector>

#include "dialogs/about_text.h"
#include "dialogs/control_specs.h"
#include "dialogs/key_value.h"

namespace dialogs {
namespace {

constexpr std::uint32_t kBlack = 0x000000;
constexpr std::uint32_t kGrey = 0x808080;
constexpr std::uint32_t kWhite = 0xFFFFFF;

host::FormDesign Design() {
  host::FormDesign design;
  design.window.caption = u"ﾊﾞｰｼﾞｮﾝ情報";
  design.window.border = host::BorderStyle::FixedDialog;
  design.window.showInTaskbar = false;
  design.window.minButton = false;
  design.window.maxButton = false;
  design.window.startUp = host::StartUpPosition::CenterOwner;
  design.scaleMode = host::ScaleMode::Twips;
  design.clientWidthTwips = 6105;
  design.clientHeightTwips = 2880;
  return design;
}

host::ControlSpec IconSpec() {
  host::ControlSpec desc =
      design::Control(host::ControlKind::PictureBox, "picIcon", {}, {240, 240, 480, 480}, 1);
  desc.appIcon = true;
  return desc;
}

host::ControlSpec TitleSpec() {
  host::ControlSpec desc = design::WithColor(
      design::Label("lblTitle", u"ｱﾌﾟﾘｹｰｼｮﾝ ﾀｲﾄﾙ", {1050, 240, 4905, 285}, 5), kBlack);
  desc.font = host::FontSpec{u"ＭＳ Ｐゴシック", 9, 700, 128};
  return desc;
}

// Closes an open registry key however the procedure that opened it ends.
class OpenKey {
 public:
  explicit OpenKey(host::RegKey key) : key_(key) {}
  OpenKey(const OpenKey&) = delete;
  OpenKey& operator=(const OpenKey&) = delete;
  ~OpenKey() { host::TheOs().RegCloseKey(key_); }
  host::RegKey get() const { return key_; }

 private:
  host::RegKey key_;
};

// Starts the System Information tool; false when neither value leads to it.
// Run-time errors (a value without data, a path Shell can't start) pass on.
bool LocateAndStart(SFrm_About& form) {
  host::Text path;
  if (!form.GetKeyValue(kHkeyLocalMachine, kToolKey, kToolValue, path)) {
    if (!form.GetKeyValue(kHkeyLocalMachine, kFolderKey, kFolderValue, path)) return false;
    if (host::Dir(path + kToolFile).empty()) return false;
    path += kToolFile;
  }
  host::Shell(path, host::vbNormalFocus);
  return true;
}

}  // namespace

SFrm_About::SFrm_About()
    : host::Form(Design()),
      picIcon(*this, IconSpec()),
      cmdOK(*this, design::Button("cmdOK", u"OK", {4560, 1980, 1380, 345}, 0, true, true)),
      cmdSysInfo(*this, design::Button("cmdSysInfo", u"ｼｽﾃﾑ情報(&S)...", {4560, 2400, 1380, 345}, 2,
                                       false, false)),
      lblLegalCopyright(*this, design::Label("lblLegalCopyright", {}, {180, 1200, 5820, 450}, 8)),
      lblCompanyName(*this, design::Label("lblCompanyName", {}, {180, 930, 5760, 225}, 7)),
      Line1_1(*this, design::HorizontalLine("Line1(1)", 120, 6000, 1830, kGrey, 1)),
      lblDescription(*this, design::WithColor(design::Label("lblDescription", u"ｱﾌﾟﾘｹｰｼｮﾝの説明",
                                                            {1020, 3420, 3885, 1170}, 3),
                                              kBlack)),
      lblTitle(*this, TitleSpec()),
      Line1_0(*this, design::HorizontalLine("Line1(0)", 120, 6000, 1800, kWhite, 2)),
      lblVersion(*this, design::Label("lblVersion", u"ﾊﾞｰｼﾞｮﾝ", {1050, 600, 4905, 225}, 6)),
      lblDisclaimer(*this, design::WithColor(design::Label("lblDisclaimer", u"警告: ...",
                                                           {180, 2160, 4230, 525}, 4),
                                             kBlack)) {
  cmdOK.onClick = [this] { cmdOK_Click(); };
  cmdSysInfo.onClick = [this] { cmdSysInfo_Click(); };
}

// No trap of its own: an error here abandons the opening in the caller.
void SFrm_About::Form_Load() {
  const host::AppObject app = host::App();
  SetCaption(AboutCaption(app.Title()));
  lblVersion.SetCaption(VersionLine(app.Major(), app.Minor(), app.Revision()));
  lblTitle.SetCaption(app.Title());
  lblCompanyName.SetCaption(app.CompanyName());
  lblLegalCopyright.SetCaption(CopyrightLines(app.LegalCopyright()));
  lblDisclaimer.SetCaption({});
}

void SFrm_About::cmdOK_Click() { host::Unload(*this); }

void SFrm_About::cmdSysInfo_Click() { StartSysInfo(); }

// The full file name from the first value is started as read; only when
// that value can't be read is the folder of the second one tried. Any
// failure, a run-time error included, gets the same one message.
void SFrm_About::StartSysInfo() {
  bool started = false;
  try {
    started = LocateAndStart(*this);
  } catch (const host::RuntimeError&) {
  }
  if (!started) host::MsgBox(kNoSysInfoMessage, host::vbOKOnly);
}

bool SFrm_About::GetKeyValue(const std::int32_t& KeyRoot, const host::Text& KeyName,
                             const host::Text& SubKeyRef, host::Text& KeyVal) {
  host::Os& os = host::TheOs();
  host::RegKey handle = 0;
  // The keys are only read; asking for more makes the open fail wherever
  // HKEY_LOCAL_MACHINE is read-only, as it is for a standard user.
  if (os.RegOpenKeyExA(static_cast<std::uint32_t>(KeyRoot), os.ToAnsi(KeyName), 0,
                       host::win::kKeyRead, &handle) != host::win::kErrorSuccess) {
    KeyVal.clear();
    return false;
  }
  const OpenKey key(handle);
  std::vector<std::uint8_t> buffer(kValueBufferBytes, 0);
  std::uint32_t size = kValueBufferBytes;
  std::uint32_t type = 0;
  if (os.RegQueryValueExA(key.get(), os.ToAnsi(SubKeyRef), &type, buffer.data(), &size) !=
      host::win::kErrorSuccess) {
    KeyVal.clear();
    return false;
  }
  const auto decoded = DecodeKeyValue(type, buffer.data(), std::min(size, kValueBufferBytes),
                                      [&os](std::string_view bytes) { return os.FromAnsi(bytes); });
  if (decoded) KeyVal = *decoded;
  return true;
}

}  // namespace dialogs
