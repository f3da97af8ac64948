// SFrm_About: the About box. It shows the application's title, version,
// company and copyright, closes with cmdOK, and starts the System
// Information tool, found through the registry, with cmdSysInfo.
#pragma once

#include <cstdint>

#include "host/toolkit.h"
#include "host/win_constants.h"

namespace dialogs {

// Root of both lookups, as the signed 32-bit handle value it is passed as.
inline constexpr std::int32_t kHkeyLocalMachine =
    static_cast<std::int32_t>(host::win::kHkeyLocalMachine);
inline constexpr std::uint32_t kValueBufferBytes = 1024;

inline constexpr char16_t kToolKey[] = u"SOFTWARE\\Microsoft\\Shared Tools\\MSINFO";
inline constexpr char16_t kToolValue[] = u"PATH";
inline constexpr char16_t kFolderKey[] = u"SOFTWARE\\Microsoft\\Shared Tools Location";
inline constexpr char16_t kFolderValue[] = u"MSINFO";
inline constexpr char16_t kToolFile[] = u"\\MSINFO32.EXE";
inline constexpr char16_t kNoSysInfoMessage[] = u"この環境ではシステム情報を使用できません。";

class SFrm_About : public host::Form {
 public:
  SFrm_About();

  void Form_Load() override;
  void cmdOK_Click();
  void cmdSysInfo_Click();

  void StartSysInfo();
  // Reads value `SubKeyRef` of key `KeyName` under `KeyRoot` into `KeyVal`;
  // false, with `KeyVal` emptied, when the key can't be opened or the value
  // can't be read. Raises a run-time error for a value without data.
  bool GetKeyValue(const std::int32_t& KeyRoot, const host::Text& KeyName,
                   const host::Text& SubKeyRef, host::Text& KeyVal);

  // In creation order.
  host::PictureBox picIcon;
  host::Button cmdOK;
  host::Button cmdSysInfo;
  host::Label lblLegalCopyright;
  host::Label lblCompanyName;
  host::Line Line1_1;  // Line1(1): the grey half of the etched rule
  host::Label lblDescription;
  host::Label lblTitle;
  host::Line Line1_0;  // Line1(0): the white half
  host::Label lblVersion;
  host::Label lblDisclaimer;
};

}  // namespace dialogs
