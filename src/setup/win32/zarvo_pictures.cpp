// zarvo-pictures.exe: makes the saver's ZARVO001.DAT ... ZARVO050.DAT from
// the pictures in a folder. The setup program carries it; the zip ships it
// for those who install by hand.
//
//   zarvo-pictures.exe /count <folder>      prints "<pictures> <KiB the copies take>"
//   zarvo-pictures.exe <folder> [<target>]  makes the fifty files in <target>,
//                                           by default this program's folder
//   zarvo-pictures.exe /as-is <folder> <target>
//                                           puts the folder's own ZARVO001.DAT ...
//                                           ZARVO050.DAT in place, as they are
//                                           (setup's bundled pictures)
//
// The fifty are replaced all at once or not at all: on any failure the
// target keeps the files it had.
//
// Exit code: 0 done, 1 no picture in the folder, 2 a file could not be copied
// or replaced (the fifty are as they were), 3 wrong arguments, 4 the folder
// cannot be opened.
#include "host/win32/windows_api.h"

#include <objbase.h>

#include <algorithm>
#include <array>
#include <atomic>
#include <new>
#include <optional>
#include <string>
#include <vector>

#include "host/picture/header.h"
#include "host/win32/dyn_api.h"
#include "host/win32/wic_common.h"
#include "host/win32/wic_picture.h"
#include "host/win32/wic_source.h"
#include "host/win32/wide.h"
#include "saver/picture_rules.h"
#include "setup/picture_choice.h"

namespace {

using host::Text;
using host::win32::Com;
using host::win32::FromW;
using host::win32::W;
using setup::FoundFile;

enum ExitCode { kDone = 0, kNoPictures = 1, kFailed = 2, kUsage = 3, kNoFolder = 4 };

// Messages in Japanese for a user whose regional format is Japanese, else in
// English; the setup program reads only exit codes and numbers.
bool Japanese() { return PRIMARYLANGID(GetUserDefaultLangID()) == LANG_JAPANESE; }

// To the console as it is, to a file or pipe as UTF-8.
void Print(const Text& text) {
  const HANDLE out = GetStdHandle(STD_OUTPUT_HANDLE);
  DWORD mode = 0, written = 0;
  if (GetConsoleMode(out, &mode)) {
    WriteConsoleW(out, W(text), static_cast<DWORD>(text.size()), &written, nullptr);
    return;
  }
  const std::string utf8 = host::ToUtf8(text);
  WriteFile(out, utf8.data(), static_cast<DWORD>(utf8.size()), &written, nullptr);
}

Text Number(std::uint64_t value) { return host::Str(static_cast<std::int64_t>(value)); }

Text Join(const Text& folder, const Text& name) {
  const bool separated = !folder.empty() && (folder.back() == u'\\' || folder.back() == u'/');
  return folder + (separated ? u"" : u"\\") + name;
}

class File {
 public:
  explicit File(HANDLE handle) : handle_(handle) {}
  File(const File&) = delete;
  File& operator=(const File&) = delete;
  ~File() {
    if (handle_ != INVALID_HANDLE_VALUE) CloseHandle(handle_);
  }
  HANDLE Get() const { return handle_; }
  explicit operator bool() const { return handle_ != INVALID_HANDLE_VALUE; }

 private:
  HANDLE handle_;
};

// Whether a file holds a picture the saver shows, known as the saver knows
// it: by its head, and where that does not settle it, by the system's
// codecs opening it. Neither reads a file whole.
class PictureJudge {
 public:
  bool IsPicture(const Text& path, std::uint64_t size) {
    if (size == 0 || size > host::win32::kMaxFileBytes) return false;
    // Shared like the saver's reads, so that a picture being written
    // elsewhere is still judged.
    const File file(CreateFileW(W(path), GENERIC_READ,
                                FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                OPEN_EXISTING, FILE_FLAG_SEQUENTIAL_SCAN, nullptr));
    if (!file || GetFileType(file.Get()) != FILE_TYPE_DISK) return false;
    std::vector<std::uint8_t> head(static_cast<std::size_t>(std::min(size, setup::kHeadBytes)));
    DWORD got = 0;
    if (!ReadFile(file.Get(), head.data(), static_cast<DWORD>(head.size()), &got, nullptr)) {
      return false;
    }
    head.resize(got);
    switch (setup::JudgeContent(head, size)) {
      case setup::Content::Picture:
        return true;
      case setup::Content::NotPicture:
        return false;
      case setup::Content::AskCodecs:
        break;
    }
    return CodecsOpen(file.Get(), size, head);
  }

 private:
  // What a load does before it reads pixels: the decoder the format asks
  // for, or the one the system's codecs choose by content, its frame, and
  // the frame's size against the memory budget.
  bool CodecsOpen(HANDLE file, std::uint64_t size, std::vector<std::uint8_t>& head) {
    using host::picture::HeaderVerdict;
    host::picture::PictureHeader header;
    if (host::picture::CheckPictureHeader(head, header) == HeaderVerdict::Unreadable) {
      header = host::picture::PictureHeader{};
      header.format = host::picture::SniffFormat(head);
    }
    try {
      host::win32::Source source;
      std::atomic<bool> readFailed{false};
      host::win32::OpenSource(host::win32::SourceFile{head, file, size, readFailed}, factory_,
                              header.format, source);
      host::win32::LayOut(source.frame.Get(), header, head);
      return true;
    } catch (const host::win32::Failure&) {
      return false;
    } catch (const std::bad_alloc&) {
      return false;
    }
  }

  Com<IWICImagingFactory> factory_;
};

// The folder itself: the same whatever way its path is spelt (case, short
// names, a drive letter or a share), or none when it cannot be opened.
std::optional<BY_HANDLE_FILE_INFORMATION> FolderIdentity(const Text& folder) {
  const File handle(CreateFileW(W(folder), FILE_READ_ATTRIBUTES,
                                FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr));
  BY_HANDLE_FILE_INFORMATION info;
  if (!handle || !GetFileInformationByHandle(handle.Get(), &info)) return std::nullopt;
  return info;
}

bool SameFolder(const Text& a, const Text& b) {
  const auto x = FolderIdentity(a), y = FolderIdentity(b);
  return x && y && x->dwVolumeSerialNumber == y->dwVolumeSerialNumber &&
         x->nFileIndexHigh == y->nFileIndexHigh && x->nFileIndexLow == y->nFileIndexLow;
}

// Explorer's own comparison; looked up rather than imported so that the
// program starts, with the model of it, wherever it is missing.
using StrCmpLogicalWFn = int WINAPI(PCWSTR, PCWSTR);
StrCmpLogicalWFn* SystemOrder() {
  static auto* const compare =
      host::win32::Proc<StrCmpLogicalWFn>(L"shlwapi.dll", "StrCmpLogicalW");
  return compare;
}

int ExplorerOrder(std::u16string_view a, std::u16string_view b) {
  return SystemOrder()(W(Text(a)), W(Text(b)));
}

enum class Listing { Listed, CannotOpen };

// The pictures directly in `folder`, in Explorer's order. When the folder is
// also `target`, the files this program makes there are not among them.
Listing FindPictures(const Text& folder, const Text& target, std::vector<FoundFile>& pictures) {
  WIN32_FIND_DATAW entry;
  const HANDLE find = FindFirstFileExW(W(Join(folder, u"*")), FindExInfoBasic, &entry,
                                       FindExSearchNameMatch, nullptr, 0);
  if (find == INVALID_HANDLE_VALUE) {
    return GetLastError() == ERROR_FILE_NOT_FOUND ? Listing::Listed : Listing::CannotOpen;
  }
  const bool ownOutput = !target.empty() && SameFolder(folder, target);
  PictureJudge judge;
  do {
    if (entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) continue;
    FoundFile file{FromW(entry.cFileName),
                   std::uint64_t{entry.nFileSizeHigh} << 32 | entry.nFileSizeLow};
    if (ownOutput && setup::IsSlotFile(file.name)) continue;
    if (judge.IsPicture(Join(folder, file.name), file.size)) pictures.push_back(std::move(file));
  } while (FindNextFileW(find, &entry));
  FindClose(find);
  setup::SortByName(pictures, SystemOrder() ? ExplorerOrder : setup::CompareNames);
  return Listing::Listed;
}

Text SlotPath(const Text& target, int slot) {
  return saver::PictureFileName(target, static_cast<std::int16_t>(slot + 1));
}

enum class Step { Copy, Replace };

Text StepFailure(Step step, const Text& path) {
  const Text code = Number(GetLastError());
  if (Japanese()) {
    return (step == Step::Copy ? u"コピーできませんでした (エラー "
                               : u"置き換えられませんでした (エラー ") +
           code + u"): " + path + u"\r\n";
  }
  return (step == Step::Copy ? u"Could not copy " : u"Could not replace ") + path + u" (error " +
         code + u")\r\n";
}

// A file of ours that may be read-only or hidden, as a copy of the user's
// picture is before its attributes are cleared.
bool Remove(const Text& path) {
  SetFileAttributesW(W(path), FILE_ATTRIBUTE_NORMAL);
  return DeleteFileW(W(path)) || GetLastError() == ERROR_FILE_NOT_FOUND;
}

bool Exists(const Text& path) { return GetFileAttributesW(W(path)) != INVALID_FILE_ATTRIBUTES; }

// Replaces the fifty files in `target` with copies of `sources` (one for
// each slot) in one step that completes or leaves them as they were: the
// copies are made under passing names (so a target that is the picture
// folder itself has every picture read before any file changes), the old
// files are renamed aside, the copies take their names, and only then are
// the old ones deleted. Any failure on the way undoes what was done. A
// slot held open by another program without sharing fails the renaming,
// which is where it is noticed, before any slot holds a new file.
class SlotSwap {
 public:
  SlotSwap(const std::vector<Text>& sources, const Text& target) : sources_(sources) {
    for (int slot = 0; slot < setup::kSlotCount; ++slot) {
      const Text path = SlotPath(target, slot);
      slots_[slot] = {path, path + Text(setup::kStagedSuffix), path + Text(setup::kAsideSuffix)};
    }
  }
  SlotSwap(const SlotSwap&) = delete;
  SlotSwap& operator=(const SlotSwap&) = delete;
  ~SlotSwap() {
    if (!committed_) RollBack();
  }

  bool Run() {
    for (int slot = 0; slot < setup::kSlotCount; ++slot) {
      Slot& s = slots_[slot];
      // A leftover of a run that was cut off (a crash, a power cut) first.
      if (!Remove(s.staged) || !Remove(s.aside)) return Fail(Step::Replace, s.path);
      s.stagedMade = true;
      // A read-only or hidden picture gives a copy that is neither.
      if (!CopyFileW(W(sources_[slot]), W(s.staged), FALSE) ||
          !SetFileAttributesW(W(s.staged), FILE_ATTRIBUTE_NORMAL)) {
        return Fail(Step::Copy, sources_[slot]);
      }
    }
    for (Slot& s : slots_) {
      if (!Exists(s.path)) continue;
      if (!MoveFileExW(W(s.path), W(s.aside), 0)) return Fail(Step::Replace, s.path);
      s.setAside = true;
    }
    for (Slot& s : slots_) {
      if (!MoveFileExW(W(s.staged), W(s.path), 0)) return Fail(Step::Replace, s.path);
      s.stagedMade = false;
      s.placed = true;
    }
    committed_ = true;
    // Done: an old file that cannot go now (something still reads it) goes
    // when Windows next starts, which only an administrator may ask.
    for (const Slot& s : slots_) {
      if (s.setAside && !Remove(s.aside)) {
        MoveFileExW(W(s.aside), nullptr, MOVEFILE_DELAY_UNTIL_REBOOT);
      }
    }
    return true;
  }

 private:
  struct Slot {
    Text path, staged, aside;
    bool stagedMade = false, setAside = false, placed = false;
  };

  static bool Fail(Step step, const Text& path) {
    Print(StepFailure(step, path));
    return false;
  }

  void RollBack() {
    for (Slot& s : slots_) {
      if (s.placed) Remove(s.path);
      if (s.setAside && !MoveFileExW(W(s.aside), W(s.path), MOVEFILE_REPLACE_EXISTING)) {
        Print((Japanese() ? u"元に戻せませんでした: " : u"Could not restore ") + s.path + u"\r\n");
      }
      if (s.stagedMade) Remove(s.staged);
    }
  }

  const std::vector<Text>& sources_;
  std::array<Slot, setup::kSlotCount> slots_;
  bool committed_ = false;
};

bool ReplaceSlots(const std::vector<Text>& sources, const Text& target) {
  SlotSwap swap(sources, target);
  return swap.Run();
}

int NoPictures(const Text& folder, Listing listing) {
  if (listing == Listing::CannotOpen) {
    Print((Japanese() ? u"フォルダーを開けません: " : u"Cannot open the folder ") + folder +
          u"\r\n");
    return kNoFolder;
  }
  Print((Japanese() ? u"スクリーン セーバーで表示できる画像がありません: "
                    : u"No picture the screen saver can show in ") +
        folder + u"\r\n");
  return kNoPictures;
}

int CountPictures(const Text& folder) {
  std::vector<FoundFile> pictures;
  const Listing listing = FindPictures(folder, Text(), pictures);
  if (pictures.empty()) return NoPictures(folder, listing);
  Print(Number(pictures.size()) + u" " + Number((setup::CopiesSize(pictures) + 1023) / 1024) +
        u"\r\n");
  return kDone;
}

int FillSlots(const Text& folder, const Text& target) {
  std::vector<FoundFile> pictures;
  const Listing listing = FindPictures(folder, target, pictures);
  if (pictures.empty()) return NoPictures(folder, listing);
  std::vector<Text> sources;
  for (int slot = 0; slot < setup::kSlotCount; ++slot) {
    sources.push_back(Join(folder, pictures[setup::SourceOfSlot(slot, pictures.size())].name));
  }
  if (!ReplaceSlots(sources, target)) return kFailed;
  const Text count = Number(pictures.size());
  Print(Japanese() ? count + u" 枚の画像から ZARVO001.DAT ～ ZARVO050.DAT を作りました: " + target +
                         u"\r\n"
                   : u"Made ZARVO001.DAT ... ZARVO050.DAT in " + target + u" from " + count +
                         u" pictures.\r\n");
  return kDone;
}

int PutAsTheyAre(const Text& folder, const Text& target) {
  std::vector<Text> sources;
  for (int slot = 0; slot < setup::kSlotCount; ++slot) sources.push_back(SlotPath(folder, slot));
  return ReplaceSlots(sources, target) ? kDone : kFailed;
}

Text OwnFolder() {
  std::vector<wchar_t> path(32768);
  const DWORD length = GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size()));
  const Text own = FromW(path.data(), length);
  return own.substr(0, own.find_last_of(u'\\'));
}

int Usage() {
  Print(
      Japanese()
          ? u"使い方: zarvo-pictures.exe <画像のフォルダー> [<作る先のフォルダー>]\r\n"
            u"フォルダーの画像 (サブフォルダーは除く) を名前の順に使って、ZARVO001.DAT ～ "
            u"ZARVO050.DAT を作ります。作る先を省くと、このプログラムのフォルダーに作ります。\r\n"
          : u"Usage: zarvo-pictures.exe <picture folder> [<target folder>]\r\n"
            u"Makes ZARVO001.DAT ... ZARVO050.DAT from the pictures in the folder (not in its "
            u"subfolders), in the order of their names; by default in this program's folder.\r\n");
  return kUsage;
}

int Run(const std::vector<Text>& args) {
  if (args.size() == 2 && args[0] == u"/count") return CountPictures(args[1]);
  if (args.size() == 3 && args[0] == u"/as-is") return PutAsTheyAre(args[1], args[2]);
  if (args.size() == 1 && args[0] != u"/?") return FillSlots(args[0], OwnFolder());
  if (args.size() == 2) return FillSlots(args[0], args[1]);
  return Usage();
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  // The zip's copy may sit in a downloads folder beside anything.
  host::win32::RestrictDllSearch();
  // The system's codecs, for the formats only they know.
  const HRESULT com = CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
  std::vector<Text> args;
  for (int i = 1; i < argc; ++i) args.push_back(FromW(argv[i]));
  const int code = Run(args);
  if (SUCCEEDED(com)) CoUninitialize();
  return code;
}
