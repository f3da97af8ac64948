// The loader thread's side of the file system, under Wine: a file's stamp
// from its handle tells a replacement and a rewrite apart even with the
// same size and write time; a listed stamp stops the load before it
// decodes; only bytes the decoder refused make a lasting failure.
#include <gtest/gtest.h>

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "host/runtime.h"
#include "host/win32/wic_picture.h"

namespace {

using host::FileStamp;
using host::LoadRequest;
using host::PictureLoad;

// A 2 x 1 24-bit BMP of the given colour.
std::string Bmp(std::uint8_t blue) {
  const std::uint8_t header[54] = {'B', 'M', 62, 0, 0, 0, 0, 0, 0, 0, 54, 0, 0, 0,  40,
                                   0,   0,   0,  2, 0, 0, 0, 1, 0, 0, 0,  1, 0, 24, 0};
  std::string bytes(reinterpret_cast<const char*>(header), sizeof header);
  return bytes + std::string{static_cast<char>(blue), 0, 0, static_cast<char>(blue), 0, 0, 0, 0};
}

std::wstring TempPath(const wchar_t* name) {
  wchar_t folder[MAX_PATH];
  GetTempPathW(MAX_PATH, folder);
  return std::wstring(folder) + name;
}

// Writes `bytes` to `path` with the same write time every time.
void Write(const std::wstring& path, const std::string& bytes) {
  HANDLE file = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
  ASSERT_NE(file, INVALID_HANDLE_VALUE);
  DWORD written = 0;
  WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
  const FILETIME fixed{0x12345678, 0x01D00000};
  SetFileTime(file, nullptr, nullptr, &fixed);
  CloseHandle(file);
}

std::shared_ptr<PictureLoad> Load(const std::wstring& path, std::vector<FileStamp> skip = {}) {
  auto load = host::win32::BeginPictureLoad(
      LoadRequest{host::Text(path.begin(), path.end()), {800, 600}, std::move(skip), {}});
  WaitForSingleObject(host::win32::LoadFinishedEvent(*load), INFINITE);
  return load;
}

TEST(WicLoad, StampsTellFilesApartAndAListedStampIsNotDecoded) {
  const std::wstring path = TempPath(L"zarvo-stamp.bmp");
  const std::wstring other = TempPath(L"zarvo-stamp-other.bmp");
  Write(path, Bmp(10));
  const std::optional<FileStamp> first = Load(path)->Stamp();
  ASSERT_TRUE(first);
  EXPECT_EQ(Load(path)->Stamp(), first);

  const auto skipped = Load(path, {*first});
  EXPECT_EQ(skipped->Stamp(), first);
  EXPECT_FALSE(skipped->Lasting());
  EXPECT_THROW(skipped->Result(), host::RuntimeError);

  Sleep(20);             // a change time of its own for the rewrite
  Write(path, Bmp(20));  // in place: same size, same write time
  const std::optional<FileStamp> rewritten = Load(path)->Stamp();
  ASSERT_TRUE(rewritten);
  EXPECT_NE(rewritten, first);

  Write(other, Bmp(30));
  ASSERT_TRUE(MoveFileExW(other.c_str(), path.c_str(), MOVEFILE_REPLACE_EXISTING));
  const auto renamed = Load(path, {*first, *rewritten});
  EXPECT_NE(renamed->Stamp(), rewritten);
  EXPECT_TRUE(renamed->Lasting());
  DeleteFileW(path.c_str());
}

TEST(WicLoad, OnlyRefusedBytesFailForAsLongAsTheFileStays) {
  const std::wstring path = TempPath(L"zarvo-lasting.bmp");
  Write(path, "not a picture at all");
  const auto refused = Load(path);
  EXPECT_TRUE(refused->Stamp());
  EXPECT_TRUE(refused->Lasting());
  DeleteFileW(path.c_str());
  const auto missing = Load(path);
  EXPECT_FALSE(missing->Stamp());
  EXPECT_FALSE(missing->Lasting());
}

}  // namespace
