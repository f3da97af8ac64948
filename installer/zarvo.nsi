; ZARVO setup program (NSIS 3, Unicode, UTF-8 source without BOM).
;
; Built by installer/make-setup.cmake, which checks the pictures first:
;   makensis -INPUTCHARSET UTF8 -WX -DVERSION=1.0.0 -DSCR=.../zarvo.scr
;     -DPICTURES=<folder with ZARVO001.DAT..ZARVO050.DAT> -DBUNDLED_KB=<their size>
;     -DTOOL=.../zarvo-pictures.exe -DICON=res/zarvo.ico
;     -DOUTFILE=.../zarvo-setup.exe -DNOTICES=<folder> [-DLICENSES] [-DAMD64] installer/zarvo.nsi
;
; AMD64 makes a 64-bit setup of the 64-bit build.  It is a test build, never
; shipped: the end-to-end tests run it under 64-bit Wine on machines that run
; no 32-bit x86 code.  What it does differently follows from being 64-bit:
; $SYSDIR is System32 itself, the registry is the 64-bit view, and the
; structures handed to Windows have 64-bit pointers.
;
; What it does:
;  - zarvo.scr and the fifty pictures go into $SYSDIR, the folder from which
;    Windows starts screen savers.  The program is 32-bit and file-system
;    redirection stays on, so on 64-bit Windows that is SysWOW64.
;  - The pictures are the bundled ones, or copies of the pictures in a folder
;    the user chooses on the pictures page or names with /PICTURES=<folder>.
;    zarvo-pictures.exe, run from $PLUGINSDIR, finds them by their content
;    (the saver's own header check), orders them and makes the copies; a
;    folder without pictures keeps the page open, and makes a silent setup
;    end with exit code 2 before it installs anything.
;  - Setup installs all or nothing: the old zarvo.scr is renamed aside
;    before the new one is written, the helper replaces the fifty pictures
;    (bundled ones too) in one step, and only when both are in place does
;    the old zarvo.scr go and the uninstaller and its entry get written.
;    A failure puts back what was there and ends with exit code 2.
;  - The uninstaller goes to $PROGRAMFILES\ZARVO and is registered under
;    HKLM\${UNINST_KEY} (the 32-bit view, WOW6432Node on 64-bit Windows).
;    Beside it: NOTICES' LICENSE.txt and CREDITS.txt, and with LICENSES its
;    licenses\*.txt.
;  - Choosing ZARVO as the screen saver (finish page check box, or always
;    with /S) first records the user's previous choice under HKCU\${OWN_KEY}
;    -- per user, like the choice itself -- then writes SCRNSAVE.EXE.
;  - The uninstaller removes all of that and puts the previous choice back
;    only if SCRNSAVE.EXE still names ZARVO.

Unicode true
!ifdef AMD64
  Target amd64-unicode
  !define REG_VIEW 64
  !define PTR_SIZE 8
!else
  !define REG_VIEW 32
  !define PTR_SIZE 4
!endif
ManifestDPIAware true
SetCompressor /SOLID lzma
RequestExecutionLevel admin

!ifndef VERSION | SCR | PICTURES | BUNDLED_KB | TOOL | ICON | OUTFILE | NOTICES
  !error "define VERSION, SCR, PICTURES, BUNDLED_KB, TOOL, ICON, OUTFILE and NOTICES (see installer/make-setup.cmake)"
!endif

!include MUI2.nsh
!include LogicLib.nsh
!include nsDialogs.nsh
!include WordFunc.nsh

!define PRODUCT "ZARVO"
!define PUBLISHER "株式会社ザルボソフト"
!define UNINST_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\ZARVO"
!define OWN_KEY "Software\ZARVO\Setup"
!define OWN_PARENT_KEY "Software\ZARVO"
!define DESKTOP_KEY "Control Panel\Desktop"
!define PICTURE_COUNT 50
!define SPI_SETSCREENSAVEACTIVE 17
!define SPIF_UPDATE_AND_SEND 3
!define GENERIC_WRITE 0x40000000
!define CREATE_ALWAYS 2
!define STARTF_USESTDHANDLES 0x100
!define CREATE_NO_WINDOW 0x08000000

Name "${PRODUCT}"
Caption "${PRODUCT} ${VERSION} セットアップ"
UninstallCaption "${PRODUCT} ${VERSION} アンインストール"
OutFile "${OUTFILE}"
InstallDir "$PROGRAMFILES\ZARVO"
BrandingText "${PUBLISHER}"
ShowInstDetails show
ShowUninstDetails show
; Without the "(&I)" accelerator: the text then fits the button whatever the
; dialog font (the language file's uninstall button uses half-width kana).
InstallButtonText "インストール"

; Where zarvo.scr really is, as 64-bit programs (the control panel, the
; screen-saver launcher, Explorer) see it: SysWOW64 on 64-bit Windows.
Var ScrDir
; The value written to SCRNSAVE.EXE.
Var ScrValue
; The folder whose pictures are installed, or "" for the bundled ones.
Var PictureFolder
; The folder last counted, the helper's exit code for it (0 pictures,
; 1 none, 4 the folder cannot be opened), how many pictures it holds and
; the KB their fifty copies take.
Var CountedFolder
Var CountResult
Var PictureCount
Var PictureKB
; The page's count running in the background (its process handle, or 0),
; and 1 when [次へ] was clicked meanwhile: the page then moves on by itself
; once the folder turns out to hold pictures.
Var CountProcess
Var LeaveAfterCount
; 1 when setup found a zarvo.scr of an earlier install and renamed it aside.
Var OldScrAside
; The pictures page's controls.
Var BundledRadio
Var FolderRadio
Var FolderField
Var BrowseButton
Var PictureInfo

;--------------------------------------------------------------------- pages

!define MUI_ICON "${ICON}"
!define MUI_UNICON "${ICON}"
!define MUI_ABORTWARNING

!define MUI_WELCOMEPAGE_TITLE "${PRODUCT} セットアップへようこそ"
!define MUI_WELCOMEPAGE_TEXT "写真のスクリーン セーバー「${PRODUCT}」と 50 枚の画像を、Windows のシステム フォルダーにインストールします。$\r$\n$\r$\nインストールには管理者の権限が必要です。$\r$\n$\r$\n$_CLICK"
!insertmacro MUI_PAGE_WELCOME
Page custom PicturesPage PicturesPageLeave
!insertmacro MUI_PAGE_INSTFILES

!define MUI_FINISHPAGE_TITLE "${PRODUCT} のインストールが完了しました"
!define MUI_FINISHPAGE_TEXT "${PRODUCT} は、スクリーン セーバーの設定の一覧から選べます。アンインストールは [プログラムと機能] から行えます。$\r$\n$\r$\n[完了] をクリックすると、セットアップを終了します。"
!define MUI_FINISHPAGE_TEXT_LARGE
!define MUI_FINISHPAGE_RUN
!define MUI_FINISHPAGE_RUN_TEXT "スクリーン セーバーを ${PRODUCT} にして設定を開く"
!define MUI_FINISHPAGE_RUN_FUNCTION OpenScreenSaverSettings
!insertmacro MUI_PAGE_FINISH

!define MUI_WELCOMEPAGE_TITLE "${PRODUCT} のアンインストール"
!define MUI_WELCOMEPAGE_TEXT "システム フォルダーにある ${PRODUCT} のスクリーン セーバーと 50 枚の画像を削除します。$\r$\n$\r$\nスクリーン セーバーがまだ ${PRODUCT} のときは、インストール前に選ばれていたものに戻します。$\r$\n$\r$\n$_CLICK"
!insertmacro MUI_UNPAGE_WELCOME
!insertmacro MUI_UNPAGE_INSTFILES

!insertmacro MUI_LANGUAGE "Japanese"

;------------------------------------------------------------ version resource

VIProductVersion "${VERSION}.0"
VIFileVersion "${VERSION}.0"
VIAddVersionKey /LANG=${LANG_JAPANESE} "ProductName" "${PRODUCT}"
VIAddVersionKey /LANG=${LANG_JAPANESE} "CompanyName" "${PUBLISHER}"
VIAddVersionKey /LANG=${LANG_JAPANESE} "FileDescription" "${PRODUCT} セットアップ"
VIAddVersionKey /LANG=${LANG_JAPANESE} "FileVersion" "${VERSION}"
VIAddVersionKey /LANG=${LANG_JAPANESE} "ProductVersion" "${VERSION}"
VIAddVersionKey /LANG=${LANG_JAPANESE} "LegalCopyright" "Copyright (C) 2026 ${PUBLISHER}  All rights reserved."
VIAddVersionKey /LANG=${LANG_JAPANESE} "OriginalFilename" "zarvo-setup.exe"

;------------------------------------------------------------------- helpers

; Both the installer and the uninstaller need these, so they are defined
; once for each through a macro (NSIS keeps "un." functions apart).
!macro ZARVO_COMMON_FUNCTIONS UN

Function ${UN}RequireAdmin
  UserInfo::GetAccountType
  Pop $0
  ${If} $0 != "Admin"
    MessageBox MB_ICONSTOP|MB_OK "${PRODUCT} のセットアップには管理者の権限が必要です。" /SD IDOK
    SetErrorLevel 740 ; ERROR_ELEVATION_REQUIRED
    Quit
  ${EndIf}
FunctionEnd

; $ScrDir: GetSystemWow64Directory when there is one (64-bit Windows), else
; $SYSDIR.  A 64-bit setup writes to System32 itself.
Function ${UN}FindScrDir
!ifdef AMD64
  StrCpy $ScrDir $SYSDIR
!else
  System::Call 'kernel32::GetSystemWow64DirectoryW(w .r0, i ${NSIS_MAX_STRLEN}) i .r1'
  ${If} $1 = 0
    StrCpy $0 $SYSDIR
  ${EndIf}
  StrCpy $ScrDir $0
!endif
FunctionEnd

; Push a SCRNSAVE.EXE value; pops 1 if it names the zarvo.scr that setup
; installs, else 0.  Compared without regard to case, as Windows does.
Function ${UN}IsZarvoValue
  Exch $0
  Push $1
  StrCpy $1 0
  ${If} $0 != ""
    ClearErrors
    ReadRegStr $1 HKCU "${OWN_KEY}" "Selected"
    ${If} ${Errors}
      StrCpy $1 ""
    ${EndIf}
    ${If} $0 == $1
    ${OrIf} $0 == "$ScrDir\zarvo.scr"
    ${OrIf} $0 == "$SYSDIR\zarvo.scr"
    ${OrIf} $0 == $ScrValue
      StrCpy $1 1
    ${Else}
      StrCpy $1 0
    ${EndIf}
  ${EndIf}
  StrCpy $0 $1
  Pop $1
  Exch $0
FunctionEnd

!macroend

!insertmacro ZARVO_COMMON_FUNCTIONS ""
!insertmacro ZARVO_COMMON_FUNCTIONS "un."

;----------------------------------------------------------------- installer

Function .onInit
  Call RequireAdmin
  SetRegView ${REG_VIEW}
  Call FindScrDir
  StrCpy $ScrValue ""
  Call ReadPicturesOption
  ${If} $PictureFolder != ""
    StrCpy $0 $PictureFolder
    Call CountPictures
    ${If} $PictureCount = 0
    ${AndIf} ${Silent}
      SetErrorLevel 2
      Quit
    ${EndIf}
  ${EndIf}
FunctionEnd

Section "ZARVO" SecMain
  SectionIn RO

  ; Each step undoes itself and the steps before it when it fails (see
  ; InstallFailed), so that a setup that cannot finish leaves the system
  ; folder as it found it: nothing of ZARVO on a machine without it, the
  ; earlier install with its uninstaller otherwise.
  Call InstallSaver
  Call InstallPictures
  Delete "$SYSDIR\zarvo.scr.old"
  ${If} ${FileExists} "$SYSDIR\zarvo.scr.old"
    ; A saver still running from it: gone with the next start of Windows.
    System::Call 'kernel32::MoveFileExW(w "$SYSDIR\zarvo.scr.old", p 0, i 4)'
  ${EndIf}

  SetOutPath $INSTDIR
  WriteUninstaller "$INSTDIR\uninstall.exe"
  ; ZARVO's licence, and the bundled pictures' credits and licence texts.
  File "${NOTICES}/*.txt"
!ifdef LICENSES
  SetOutPath "$INSTDIR\licenses"
  File "${NOTICES}/licenses/*.txt"
  SetOutPath $INSTDIR
!endif

  WriteRegStr HKLM "${UNINST_KEY}" "DisplayName" "${PRODUCT}"
  WriteRegStr HKLM "${UNINST_KEY}" "DisplayVersion" "${VERSION}"
  WriteRegStr HKLM "${UNINST_KEY}" "Publisher" "${PUBLISHER}"
  WriteRegStr HKLM "${UNINST_KEY}" "DisplayIcon" "$ScrDir\zarvo.scr,0"
  WriteRegStr HKLM "${UNINST_KEY}" "UninstallString" '"$INSTDIR\uninstall.exe"'
  WriteRegStr HKLM "${UNINST_KEY}" "QuietUninstallString" '"$INSTDIR\uninstall.exe" /S'
  WriteRegDWORD HKLM "${UNINST_KEY}" "NoModify" 1
  WriteRegDWORD HKLM "${UNINST_KEY}" "NoRepair" 1
  ; Size of what setup put in the system folder, in KB.  Functions write
  ; the files, and makensis counts only a section's own.
  FileOpen $1 "$SYSDIR\zarvo.scr" r
  FileSeek $1 0 END $0
  FileClose $1
  IntOp $0 $0 + 1023
  IntOp $0 $0 / 1024
  ${If} $PictureFolder == ""
    IntOp $0 $0 + ${BUNDLED_KB}
  ${Else}
    IntOp $0 $0 + $PictureKB
  ${EndIf}
  WriteRegDWORD HKLM "${UNINST_KEY}" "EstimatedSize" $0

  ${If} ${Silent}
    Call SelectZarvo
  ${EndIf}
SectionEnd

; $PictureFolder: the value of /PICTURES=<folder>, as Windows splits a command
; line (the folder or the whole argument may be quoted), as a full path; ""
; without it.
Function ReadPicturesOption
  StrCpy $PictureFolder ""
  Push $CMDLINE
  System::Call 'shell32::CommandLineToArgvW(w s, *i .r1) p .r0'
  IntOp $1 $1 - 1
  ${For} $2 1 $1
    IntOp $3 $2 * ${PTR_SIZE}
    IntOp $3 $0 + $3
    System::Call '*$3(p .r4)'
    System::Call '*$4(&w${NSIS_MAX_STRLEN} .r5)'
    StrCpy $6 $5 10
    ${If} $6 == "/PICTURES="
      StrCpy $PictureFolder $5 "" 10
    ${EndIf}
  ${Next}
  System::Call 'kernel32::LocalFree(p r0)'
  ${If} $PictureFolder != ""
    GetFullPathName $0 $PictureFolder
    ${If} $0 != ""
      StrCpy $PictureFolder $0
    ${EndIf}
  ${EndIf}
FunctionEnd

Function ExtractPictureTool
  InitPluginsDir
  ${IfNot} ${FileExists} "$PLUGINSDIR\zarvo-pictures.exe"
    File "/oname=$PLUGINSDIR\zarvo-pictures.exe" "${TOOL}"
  ${EndIf}
FunctionEnd

; $1: the folder in $0 as one argument of a command line.  A trailing "\"
; is doubled so that it does not escape the closing quote.
Function QuoteFolder
  StrCpy $1 $0 1 -1
  ${If} $1 == "\"
    StrCpy $1 '"$0\"'
  ${Else}
    StrCpy $1 '"$0"'
  ${EndIf}
FunctionEnd

; Counts the pictures in the folder $0 and waits for the count (for a
; /PICTURES= folder, before any page): $CountedFolder, $CountResult,
; $PictureCount (0 for a folder without pictures or one that cannot be
; read) and $PictureKB.
Function CountPictures
  Call ExtractPictureTool
  StrCpy $CountedFolder $0
  Call QuoteFolder
  nsExec::ExecToStack '"$PLUGINSDIR\zarvo-pictures.exe" /count $1'
  Pop $2
  Pop $3
  StrCpy $CountResult $2
  StrCpy $PictureCount 0
  StrCpy $PictureKB 0
  ${If} $2 == 0
    ${WordFind} $3 " " "+1" $PictureCount
    ${WordFind} $3 " " "+2" $4
    IntOp $PictureKB $4 + 0
  ${EndIf}
FunctionEnd

; zarvo.scr into the system folder, an earlier one renamed aside first: a
; running saver keeps its file open, which only a rename gets past.
Function InstallSaver
  StrCpy $OldScrAside 0
  SetOutPath $SYSDIR
  SetOverwrite on
  ${If} ${FileExists} "$SYSDIR\zarvo.scr"
    Delete "$SYSDIR\zarvo.scr.old"
    ClearErrors
    Rename "$SYSDIR\zarvo.scr" "$SYSDIR\zarvo.scr.old"
    ${If} ${Errors}
      StrCpy $0 "スクリーン セーバーのファイルを置き換えられませんでした。"
      Goto failed
    ${EndIf}
    StrCpy $OldScrAside 1
  ${EndIf}
  ClearErrors
  File "/oname=zarvo.scr" "${SCR}"
  ${IfNot} ${Errors}
    Return
  ${EndIf}
  Delete "$SYSDIR\zarvo.scr"
  StrCpy $0 "スクリーン セーバーのファイルをコピーできませんでした。"
failed:
  Call InstallFailed
FunctionEnd

; The fifty pictures, the bundled ones or the folder's copies, replaced all
; at once by the helper or not at all.
Function InstallPictures
  Call ExtractPictureTool
  ${If} $PictureFolder == ""
    SetOutPath "$PLUGINSDIR\bundled"
    ClearErrors
    File "${PICTURES}/ZARVO???.DAT"
    SetOutPath $SYSDIR
    ${If} ${Errors}
      StrCpy $2 1
    ${Else}
      nsExec::Exec '"$PLUGINSDIR\zarvo-pictures.exe" /as-is "$PLUGINSDIR\bundled" "$SYSDIR"'
      Pop $2
    ${EndIf}
    RMDir /r "$PLUGINSDIR\bundled"
  ${Else}
    DetailPrint "画像のフォルダー: $PictureFolder ($PictureCount 枚)"
    StrCpy $0 $PictureFolder
    Call QuoteFolder
    nsExec::Exec '"$PLUGINSDIR\zarvo-pictures.exe" $1 "$SYSDIR"'
    Pop $2
  ${EndIf}
  ${If} $2 == 0
    DetailPrint "画像を ZARVO001.DAT ～ ZARVO050.DAT としてコピーしました"
    Return
  ${EndIf}
  ; What is left in place is the zarvo.scr just written.
  Delete "$SYSDIR\zarvo.scr"
  StrCpy $0 "画像をコピーできませんでした。"
  Call InstallFailed
FunctionEnd

; The install ends with the message in $0, after the zarvo.scr it wrote
; was removed again: puts back the earlier zarvo.scr, says so and leaves
; with exit code 2.  The pictures' helper has left them as they were.
Function InstallFailed
  ${If} $OldScrAside = 1
    Rename "$SYSDIR\zarvo.scr.old" "$SYSDIR\zarvo.scr"
  ${EndIf}
  DetailPrint $0
  DetailPrint "システム フォルダーのファイルは、セットアップの前のままです。"
  MessageBox MB_ICONSTOP|MB_OK "$0$\r$\n$\r$\nシステム フォルダーのファイルは、セットアップの前のままです。ほかのプログラム (スクリーン セーバーの設定のプレビューなど) が ${PRODUCT} のファイルを使っていないか確かめてから、もう一度セットアップを実行してください。" /SD IDOK
  SetErrorLevel 2
  Abort
FunctionEnd

; $1: $0 KB in KB, MB or GB, with one decimal below 100.
Function FormatSize
  ${If} $0 < 1024
    StrCpy $1 "$0 KB"
    Return
  ${EndIf}
  ${If} $0 < 1048576
    StrCpy $2 1024
    StrCpy $3 "MB"
  ${Else}
    StrCpy $2 1048576
    StrCpy $3 "GB"
  ${EndIf}
  IntOp $4 $0 / $2
  IntOp $5 $0 % $2
  IntOp $5 $5 * 10
  IntOp $5 $5 / $2
  ${If} $4 < 100
    StrCpy $1 "$4.$5 $3"
  ${Else}
    StrCpy $1 "$4 $3"
  ${EndIf}
FunctionEnd

;------------------------------------------------------------- pictures page

Function PicturesPage
  !insertmacro MUI_HEADER_TEXT "表示する画像" "スクリーン セーバーで表示する画像を選んでください。"
  nsDialogs::Create 1018
  Pop $0
  StrCpy $0 ${BUNDLED_KB}
  Call FormatSize
  ${NSD_CreateRadioButton} 0 0 100% 12u "付属の 50 枚の画像 (合計 $1)"
  Pop $BundledRadio
  ${NSD_OnClick} $BundledRadio PictureChoiceClicked
  ${NSD_CreateRadioButton} 0 18u 100% 12u "フォルダーの中の画像:"
  Pop $FolderRadio
  ${NSD_OnClick} $FolderRadio PictureChoiceClicked
  ${NSD_CreateText} 12u 33u 222u 13u $PictureFolder
  Pop $FolderField
  ${NSD_CreateButton} 240u 32u 60u 15u "参照..."
  Pop $BrowseButton
  ${NSD_OnClick} $BrowseButton BrowseForPictures
  ${NSD_CreateLabel} 12u 52u 288u 30u ""
  Pop $PictureInfo
  ${NSD_CreateLabel} 0 84u 100% 40u "フォルダーの中 (サブフォルダーは除く) の画像を、名前の順に使います。50 枚より少ないときは繰り返し、多いときは全体から等間隔に 50 枚を選んで、システム フォルダーにコピーします。選んだフォルダーはそのまま残ります。"
  Pop $0
  ${If} $PictureFolder == ""
    ${NSD_Check} $BundledRadio
  ${Else}
    ${NSD_Check} $FolderRadio
  ${EndIf}
  Call ShowPictureChoice
  nsDialogs::Show
FunctionEnd

Function PictureChoiceClicked
  Pop $0
  Call ShowPictureChoice
FunctionEnd

Function BrowseForPictures
  Pop $0
  ${NSD_GetText} $FolderField $0
  nsDialogs::SelectFolderDialog "画像のあるフォルダーを選んでください。" $0
  Pop $0
  ${If} $0 != error
    ${NSD_SetText} $FolderField $0
    ${NSD_Uncheck} $BundledRadio
    ${NSD_Check} $FolderRadio
    Call ShowPictureChoice
  ${EndIf}
FunctionEnd

; The folder's controls are usable with the folder chosen, and the line
; below them says what it holds.
Function ShowPictureChoice
  ${NSD_GetState} $FolderRadio $0
  ${If} $0 = ${BST_CHECKED}
    EnableWindow $FolderField 1
    EnableWindow $BrowseButton 1
    Call ShowFolderContents
  ${Else}
    EnableWindow $FolderField 0
    EnableWindow $BrowseButton 0
    ${NSD_SetText} $PictureInfo ""
  ${EndIf}
FunctionEnd

; Counts the folder in the field unless it was counted last or is being
; counted, and says what was found.  A typed relative path is taken from the
; folder setup was started in, now: the copies are made later, from another
; current folder.
Function ShowFolderContents
  ${NSD_GetText} $FolderField $0
  ${If} $0 == ""
    StrCpy $PictureCount 0
    ${NSD_SetText} $PictureInfo "フォルダーを選んでください。"
    Return
  ${EndIf}
  GetFullPathName $1 $0
  ${If} $1 != ""
  ${AndIf} $1 != $0
    StrCpy $0 $1
    ${NSD_SetText} $FolderField $0
  ${EndIf}
  ${If} $0 != $CountedFolder
    Call StartCount
  ${EndIf}
  ${If} $CountProcess <> 0
    ${NSD_SetText} $PictureInfo "フォルダーの中の画像を数えています..."
  ${ElseIf} $CountResult = 4
    ; An elevated setup does not see the drive letters that the user's own
    ; session maps to network shares.
    ${NSD_SetText} $PictureInfo "このフォルダーを開けません。ネットワーク ドライブのフォルダーは、ドライブ文字 (Z: など) ではなく \\サーバー名\共有名\フォルダー名 の形で入力してください。"
  ${ElseIf} $PictureCount = 0
    ${NSD_SetText} $PictureInfo "このフォルダーには、表示できる画像がありません。別のフォルダーを選んでください。"
  ${Else}
    StrCpy $0 $PictureKB
    Call FormatSize
    ${NSD_SetText} $PictureInfo "画像が $PictureCount 枚見つかりました。50 個のコピーの合計: $1"
  ${EndIf}
FunctionEnd

; Starts counting the folder $0 in the background: a large folder, or one on
; a slow network share, would otherwise freeze the page.  The helper's output
; goes to a file that CountTick reads when it has ended.
Function StartCount
  Call StopCount
  Call ExtractPictureTool
  StrCpy $CountedFolder $0
  StrCpy $LeaveAfterCount 0
  StrCpy $CountResult 2
  StrCpy $PictureCount 0
  StrCpy $PictureKB 0
  Call QuoteFolder
  StrCpy $9 '"$PLUGINSDIR\zarvo-pictures.exe" /count $1'
  ; SECURITY_ATTRIBUTES with an inheritable handle, STARTUPINFOW with it as
  ; standard output, PROCESS_INFORMATION.  The System plug-in packs a
  ; structure's members: a 64-bit setup puts in the padding before and
  ; after the 32-bit members that the 64-bit layouts have.
!ifdef AMD64
  System::Call '*(i 24, i 0, p 0, i 1, i 0) p .r2'
!else
  System::Call '*(i 12, p 0, i 1) p .r2'
!endif
  System::Call 'kernel32::CreateFileW(w "$PLUGINSDIR\count.txt", i ${GENERIC_WRITE}, i 3, p r2, i ${CREATE_ALWAYS}, i 0, p 0) p .r3'
  System::Free $2
!ifdef AMD64
  System::Call '*(i 104, i 0, p 0, p 0, p 0, i 0, i 0, i 0, i 0, i 0, i 0, i 0, i ${STARTF_USESTDHANDLES}, &i2 0, &i2 0, i 0, p 0, p 0, p r3, p r3) p .r4'
!else
  System::Call '*(i 68, p 0, p 0, p 0, i 0, i 0, i 0, i 0, i 0, i 0, i 0, i ${STARTF_USESTDHANDLES}, &i2 0, &i2 0, p 0, p 0, p r3, p r3) p .r4'
!endif
  System::Call '*(p 0, p 0, i 0, i 0) p .r5'
  System::Call 'kernel32::CreateProcessW(p 0, w r9, p 0, p 0, i 1, i ${CREATE_NO_WINDOW}, p 0, p 0, p r4, p r5) i .r6'
  System::Call 'kernel32::CloseHandle(p r3)'
  System::Call '*$5(p .r7, p .r8)'
  System::Free $4
  System::Free $5
  ${If} $6 <> 0
    System::Call 'kernel32::CloseHandle(p r8)'
    StrCpy $CountProcess $7
    ${NSD_CreateTimer} CountTick 100
  ${EndIf}
FunctionEnd

Function StopCount
  ${If} $CountProcess <> 0
    ${NSD_KillTimer} CountTick
    System::Call 'kernel32::TerminateProcess(p $CountProcess, i 1)'
    System::Call 'kernel32::CloseHandle(p $CountProcess)'
    StrCpy $CountProcess 0
  ${EndIf}
FunctionEnd

Function CountTick
  System::Call 'kernel32::WaitForSingleObject(p $CountProcess, i 0) i .r0'
  ${If} $0 <> 0
    Return   ; still counting
  ${EndIf}
  System::Call 'kernel32::GetExitCodeProcess(p $CountProcess, *i .r1)'
  ${If} $1 = 0
    ; The file opens once the helper's console has let go of it too, which
    ; may be a moment after the helper itself has ended.
    ClearErrors
    FileOpen $2 "$PLUGINSDIR\count.txt" r
    ${If} ${Errors}
      Return
    ${EndIf}
    FileRead $2 $3
    FileClose $2
    ${WordFind} $3 " " "+1" $4
    IntOp $PictureCount $4 + 0
    ${WordFind} $3 " " "+2" $4
    IntOp $PictureKB $4 + 0
  ${EndIf}
  ${NSD_KillTimer} CountTick
  System::Call 'kernel32::CloseHandle(p $CountProcess)'
  StrCpy $CountProcess 0
  StrCpy $CountResult $1
  Call ShowPictureChoice
  ${If} $LeaveAfterCount = 1
  ${AndIf} $PictureCount > 0
    SendMessage $HWNDPARENT ${WM_COMMAND} 1 0   ; [次へ]
  ${EndIf}
FunctionEnd

; With the folder chosen the page stays until it holds pictures; while it is
; being counted, until the count has ended.
Function PicturesPageLeave
  ${NSD_GetState} $FolderRadio $0
  ${If} $0 <> ${BST_CHECKED}
    Call StopCount
    StrCpy $PictureFolder ""
    Return
  ${EndIf}
  Call ShowFolderContents
  ${If} $CountProcess <> 0
    StrCpy $LeaveAfterCount 1
    Abort
  ${EndIf}
  ${If} $PictureCount = 0
    Abort
  ${EndIf}
  StrCpy $PictureFolder $CountedFolder
FunctionEnd

; Make ZARVO the user's screen saver, remembering the previous choice.
Function SelectZarvo
  ; The value Windows' own settings write: the short (8.3) path.  It equals
  ; the long path where nothing needs shortening and never holds a space.
  GetFullPathName /SHORT $ScrValue "$ScrDir\zarvo.scr"
  ${If} $ScrValue == ""
    StrCpy $ScrValue "$ScrDir\zarvo.scr"
  ${EndIf}

  ClearErrors
  ReadRegStr $0 HKCU "${DESKTOP_KEY}" "SCRNSAVE.EXE"
  ${If} ${Errors}
    StrCpy $1 0   ; no previous value
    StrCpy $0 ""
  ${Else}
    StrCpy $1 1
  ${EndIf}
  Push $0
  Call IsZarvoValue
  Pop $2

  ClearErrors
  ReadRegStr $3 HKCU "${OWN_KEY}" "Selected"
  ${If} $2 = 1
  ${AndIfNot} ${Errors}
    ; ZARVO is chosen already and the choice before it is on record (a
    ; repeated install): keep that record.
  ${Else}
    DeleteRegKey HKCU "${OWN_KEY}"
    ${If} $1 = 1
    ${AndIf} $2 = 0
      WriteRegStr HKCU "${OWN_KEY}" "PreviousScreenSaver" $0
    ${EndIf}
    ; ScreenSaveActive "0" would keep any saver from starting.
    ClearErrors
    ReadRegStr $4 HKCU "${DESKTOP_KEY}" "ScreenSaveActive"
    ${If} $4 == "0"
    ${AndIfNot} ${Errors}
      WriteRegStr HKCU "${OWN_KEY}" "PreviousScreenSaveActive" $4
    ${EndIf}
  ${EndIf}
  WriteRegStr HKCU "${OWN_KEY}" "Selected" $ScrValue

  WriteRegStr HKCU "${DESKTOP_KEY}" "SCRNSAVE.EXE" $ScrValue
  ReadRegStr $4 HKCU "${DESKTOP_KEY}" "ScreenSaveActive"
  ${If} $4 == "0"
    System::Call 'user32::SystemParametersInfoW(i ${SPI_SETSCREENSAVEACTIVE}, i 1, p 0, i ${SPIF_UPDATE_AND_SEND})'
    WriteRegStr HKCU "${DESKTOP_KEY}" "ScreenSaveActive" "1"
  ${EndIf}
  DetailPrint "スクリーン セーバー: $ScrValue"
FunctionEnd

; Finish page check box.
Function OpenScreenSaverSettings
  Call SelectZarvo
  ; The 64-bit control panel on 64-bit Windows (Sysnative), else ours.
  ${If} ${FileExists} "$WINDIR\Sysnative\control.exe"
    StrCpy $0 "$WINDIR\Sysnative\control.exe"
  ${Else}
    StrCpy $0 "$SYSDIR\control.exe"
  ${EndIf}
  ExecShell "open" $0 "desk.cpl,,@screensaver"
FunctionEnd

;--------------------------------------------------------------- uninstaller

Function un.onInit
  Call un.RequireAdmin
  SetRegView ${REG_VIEW}
  Call un.FindScrDir
  StrCpy $ScrValue ""
FunctionEnd

Section "Uninstall"
  ; Whatever is still there of what setup put into the system folder; files
  ; a user deleted already are simply skipped.  A running saver keeps its
  ; file until the next restart.
  Delete /REBOOTOK "$SYSDIR\zarvo.scr"
  ${For} $0 1 ${PICTURE_COUNT}
    IntFmt $1 "ZARVO%03d.DAT" $0
    Delete /REBOOTOK "$SYSDIR\$1"
  ${Next}

  Call un.RestoreScreenSaver

  DeleteRegKey HKLM "${UNINST_KEY}"
  Delete "$INSTDIR\LICENSE.txt"
  Delete "$INSTDIR\CREDITS.txt"
  Delete "$INSTDIR\licenses\*.txt"
  RMDir "$INSTDIR\licenses"
  Delete "$INSTDIR\uninstall.exe"
  RMDir "$INSTDIR"

  ${If} ${RebootFlag}
    MessageBox MB_ICONINFORMATION|MB_OK "使用中のファイルは、次に Windows を起動したときに削除されます。" /SD IDOK
  ${EndIf}
SectionEnd

; Put the previous screen saver back, but only if ZARVO is still the one
; chosen: a choice the user made since stays.
Function un.RestoreScreenSaver
  ClearErrors
  ReadRegStr $0 HKCU "${OWN_KEY}" "Selected"
  ${If} ${Errors}
    Return   ; setup did not choose ZARVO for this user
  ${EndIf}

  ClearErrors
  ReadRegStr $1 HKCU "${DESKTOP_KEY}" "SCRNSAVE.EXE"
  ${IfNot} ${Errors}
    Push $1
    Call un.IsZarvoValue
    Pop $2
    ${If} $2 = 1
      ClearErrors
      ReadRegStr $3 HKCU "${OWN_KEY}" "PreviousScreenSaver"
      ${If} ${Errors}
        DeleteRegValue HKCU "${DESKTOP_KEY}" "SCRNSAVE.EXE"
      ${Else}
        WriteRegStr HKCU "${DESKTOP_KEY}" "SCRNSAVE.EXE" $3
      ${EndIf}
      ClearErrors
      ReadRegStr $3 HKCU "${OWN_KEY}" "PreviousScreenSaveActive"
      ${IfNot} ${Errors}
        WriteRegStr HKCU "${DESKTOP_KEY}" "ScreenSaveActive" $3
        System::Call 'user32::SystemParametersInfoW(i ${SPI_SETSCREENSAVEACTIVE}, i $3, p 0, i ${SPIF_UPDATE_AND_SEND})'
      ${EndIf}
    ${EndIf}
  ${EndIf}

  DeleteRegKey HKCU "${OWN_KEY}"
  DeleteRegKey /ifempty HKCU "${OWN_PARENT_KEY}"
FunctionEnd
