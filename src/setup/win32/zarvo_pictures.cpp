// zarvo-pictures.exe: makes the saver's ZARVO001.DAT ... ZARVO050.DAT from
// the pictures in a folder. The setup program carries it; the zip ships it
// for those who install by hand.
//
//   zarvo-pictures.exe /count <folder>      prints "<pictures> <KiB the copies take>"
//   zarvo-pictures.exe <folder> [<target>]  makes the fifty files in <target>,
//                                           by default this program's folder
//
// Exit code: 0 done, 1 no picture in the folder, 2 the folder cannot be
// listed or a copy failed, 3 wrong arguments.
#include "host/win32/windows_api.h"

#include <algorithm>
#include <string>
#include <vector>

#include "host/win32/wic_picture.h"
#include "host/win32/wide.h"
#include "saver/picture_rules.h"
#include "setup/picture_choice.h"

namespace {

using host::Text;
using host::win32::FromW;
using host::win32::W;
using setup::FoundFile;

enum ExitCode { kDone = 0, kNoPictures = 1, kFailed = 2, kUsage = 3 };

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

// Up to `count` bytes from the start of a file; fewer if it is shorter or
// cannot be read.
std::vector<std::uint8_t> ReadStart(const Text& path, std::uint64_t count) {
  std::vector<std::uint8_t> bytes(static_cast<std::size_t>(count));
  const HANDLE file = CreateFileW(W(path), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                  nullptr, OPEN_EXISTING, FILE_FLAG_SEQUENTIAL_SCAN, nullptr);
  std::size_t got = 0;
  if (file != INVALID_HANDLE_VALUE) {
    DWORD read = 1;
    while (got < bytes.size() && read != 0) {
      const auto chunk = static_cast<DWORD>(std::min<std::size_t>(bytes.size() - got, 16u << 20));
      if (!ReadFile(file, bytes.data() + got, chunk, &read, nullptr)) break;
      got += read;
    }
    CloseHandle(file);
  }
  bytes.resize(got);
  return bytes;
}

// The saver reads a file whole, up to the same limit, and checks its
// header before decoding; the head decides when it can.
bool IsPicture(const Text& path, std::uint64_t size) {
  if (size == 0 || size > host::win32::kMaxFileBytes) return false;
  std::vector<std::uint8_t> bytes = ReadStart(path, std::min(size, setup::kHeadBytes));
  setup::Content content = setup::JudgeContent(bytes, size);
  if (content == setup::Content::NeedWholeFile) {
    bytes = ReadStart(path, size);
    content = setup::JudgeContent(bytes, size);
  }
  return content == setup::Content::Picture;
}

// The pictures directly in `folder`, in Explorer's order; false when the
// folder cannot be listed.
bool FindPictures(const Text& folder, std::vector<FoundFile>& pictures) {
  WIN32_FIND_DATAW entry;
  const HANDLE find = FindFirstFileExW(W(Join(folder, u"*")), FindExInfoBasic, &entry,
                                       FindExSearchNameMatch, nullptr, 0);
  if (find == INVALID_HANDLE_VALUE) return GetLastError() == ERROR_FILE_NOT_FOUND;
  do {
    if (entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) continue;
    FoundFile file{FromW(entry.cFileName),
                   std::uint64_t{entry.nFileSizeHigh} << 32 | entry.nFileSizeLow};
    if (IsPicture(Join(folder, file.name), file.size)) pictures.push_back(std::move(file));
  } while (FindNextFileW(find, &entry));
  FindClose(find);
  setup::SortByName(pictures);
  return true;
}

Text SlotPath(const Text& target, int slot) {
  return saver::PictureFileName(target, static_cast<std::int16_t>(slot + 1));
}

Text CopyFailure(const Text& path) {
  const Text code = Number(GetLastError());
  return Japanese() ? u"コピーできませんでした (エラー " + code + u"): " + path + u"\r\n"
                    : u"Could not copy " + path + u" (error " + code + u")\r\n";
}

// Every copy is made under a passing name first and only then put in its
// place: a failure leaves the fifty files as they were, and a target that
// is the picture folder itself still has its pictures read before any is
// replaced.
bool CopyToSlots(const std::vector<FoundFile>& pictures, const Text& folder, const Text& target) {
  std::vector<Text> staged;
  const auto fail = [&staged](const Text& path) {
    Print(CopyFailure(path));
    for (const Text& name : staged) DeleteFileW(W(name));
    return false;
  };
  for (int slot = 0; slot < setup::kSlotCount; ++slot) {
    const Text source = Join(folder, pictures[setup::SourceOfSlot(slot, pictures.size())].name);
    staged.push_back(SlotPath(target, slot) + u".new");
    // A read-only or hidden picture gives a copy that is neither.
    if (!CopyFileW(W(source), W(staged.back()), FALSE) ||
        !SetFileAttributesW(W(staged.back()), FILE_ATTRIBUTE_NORMAL)) {
      return fail(source);
    }
  }
  for (int slot = 0; slot < setup::kSlotCount; ++slot) {
    const Text path = SlotPath(target, slot);
    SetFileAttributesW(W(path), FILE_ATTRIBUTE_NORMAL);
    if (!MoveFileExW(W(staged[slot]), W(path), MOVEFILE_REPLACE_EXISTING)) return fail(path);
  }
  return true;
}

int NoPictures(const Text& folder, bool listed) {
  if (!listed) {
    Print((Japanese() ? u"フォルダーを開けません: " : u"Cannot open the folder ") + folder +
          u"\r\n");
    return kFailed;
  }
  Print((Japanese() ? u"スクリーン セーバーで表示できる画像がありません: "
                    : u"No picture the screen saver can show in ") +
        folder + u"\r\n");
  return kNoPictures;
}

int CountPictures(const Text& folder) {
  std::vector<FoundFile> pictures;
  const bool listed = FindPictures(folder, pictures);
  if (pictures.empty()) return NoPictures(folder, listed);
  Print(Number(pictures.size()) + u" " + Number((setup::CopiesSize(pictures) + 1023) / 1024) +
        u"\r\n");
  return kDone;
}

int FillSlots(const Text& folder, const Text& target) {
  std::vector<FoundFile> pictures;
  const bool listed = FindPictures(folder, pictures);
  if (pictures.empty()) return NoPictures(folder, listed);
  if (!CopyToSlots(pictures, folder, target)) return kFailed;
  const Text count = Number(pictures.size());
  Print(Japanese() ? count + u" 枚の画像から ZARVO001.DAT ～ ZARVO050.DAT を作りました: " + target +
                         u"\r\n"
                   : u"Made ZARVO001.DAT ... ZARVO050.DAT in " + target + u" from " + count +
                         u" pictures.\r\n");
  return kDone;
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

}  // namespace

int wmain(int argc, wchar_t** argv) {
  std::vector<Text> args;
  for (int i = 1; i < argc; ++i) args.push_back(FromW(argv[i]));
  if (args.size() == 2 && args[0] == u"/count") return CountPictures(args[1]);
  if (args.size() == 1 && args[0] != u"/?") return FillSlots(args[0], OwnFolder());
  if (args.size() == 2) return FillSlots(args[0], args[1]);
  return Usage();
}
