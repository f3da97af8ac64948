// The process, files, other programs and code pages.
#include "host/win32/windows_api.h"

#include <algorithm>
#include <string>
#include <vector>

#include "host/runtime.h"
#include "host/win32/dyn_api.h"
#include "host/win32/wic_picture.h"
#include "host/win32/wide.h"
#include "host/win32/win32_os.h"

namespace host::win32 {

namespace {

// version.dll is not a known DLL, so a static import would be looked for in
// the program's own folder first; these are taken from the system folder.
using GetFileVersionInfoSizeWFn = DWORD WINAPI(const wchar_t*, DWORD*);
using GetFileVersionInfoWFn = BOOL WINAPI(const wchar_t*, DWORD, DWORD, void*);
using VerQueryValueWFn = BOOL WINAPI(const void*, const wchar_t*, void**, UINT*);

struct VersionApi {
  GetFileVersionInfoSizeWFn* infoSize =
      Proc<GetFileVersionInfoSizeWFn>(L"version.dll", "GetFileVersionInfoSizeW");
  GetFileVersionInfoWFn* info = Proc<GetFileVersionInfoWFn>(L"version.dll", "GetFileVersionInfoW");
  VerQueryValueWFn* query = Proc<VerQueryValueWFn>(L"version.dll", "VerQueryValueW");
};

bool IsBlank(wchar_t c) { return c == L' ' || c == L'\t'; }

std::wstring Hex4(WORD value) {
  static constexpr wchar_t kDigits[] = L"0123456789abcdef";
  std::wstring hex(4, L'0');
  for (int i = 3; i >= 0; --i, value >>= 4) hex[i] = kDigits[value & 0xF];
  return hex;
}

// The \StringFileInfo\<language><code page>\ block that the file has.
std::wstring StringTable(const VersionApi& api, const void* data) {
  struct Translation {
    WORD language;
    WORD codePage;
  };
  std::vector<Translation> candidates;
  Translation* listed = nullptr;
  UINT bytes = 0;
  if (api.query(data, L"\\VarFileInfo\\Translation", reinterpret_cast<void**>(&listed), &bytes))
    candidates.assign(listed, listed + bytes / sizeof(Translation));
  candidates.insert(
      candidates.end(),
      {{0x0411, 1200}, {0x0409, 1200}, {0x0000, 1200}, {0x0409, 1252}, {0x0411, 932}});
  for (const Translation& t : candidates) {
    std::wstring block = L"\\StringFileInfo\\" + Hex4(t.language) + Hex4(t.codePage) + L"\\";
    void* value = nullptr;
    UINT length = 0;
    for (const wchar_t* name : {L"ProductName", L"FileDescription"})
      if (api.query(data, (block + name).c_str(), &value, &length)) return block;
  }
  return {};
}

Text StringValue(const VersionApi& api, const void* data, const std::wstring& table,
                 const wchar_t* name) {
  if (table.empty()) return {};
  wchar_t* value = nullptr;
  UINT length = 0;
  std::wstring path = table + name;
  if (!api.query(data, path.c_str(), reinterpret_cast<void**>(&value), &length) || !value)
    return {};
  // The length may or may not count the terminating NUL.
  return FromW(value, wcsnlen(value, length));
}

Text BaseName(const Text& path) {
  std::size_t start = path.find_last_of(u"\\/");
  Text name = start == Text::npos ? path : path.substr(start + 1);
  std::size_t dot = name.find_last_of(u'.');
  return dot == Text::npos ? name : name.substr(0, dot);
}

WORD ShowCommandFor(int windowStyle) {
  switch (windowStyle) {
    case vbHide:
      return SW_HIDE;
    case vbNormalFocus:
      return SW_SHOWNORMAL;
    case vbMinimizedFocus:
      return SW_SHOWMINIMIZED;
    case vbMaximizedFocus:
      return SW_SHOWMAXIMIZED;
    case vbNormalNoFocus:
      return SW_SHOWNOACTIVATE;
    case vbMinimizedNoFocus:
      return SW_SHOWMINNOACTIVE;
  }
  return SW_SHOWNORMAL;  // not reached: the toolkit lets no other style through
}

}  // namespace

// The name ends at its closing quote when it starts with one, else at the
// first blank.
Text ArgumentsOf(const wchar_t* commandLine) {
  if (!commandLine) return {};
  const wchar_t* p = commandLine;
  if (*p == L'"') {
    ++p;
    while (*p && *p != L'"') ++p;
    if (*p) ++p;
  } else {
    while (*p && !IsBlank(*p)) ++p;
  }
  while (IsBlank(*p)) ++p;
  return FromW(p);
}

Text Win32Os::CommandArguments() { return ArgumentsOf(GetCommandLineW()); }

// The mutex lives as long as the process: a copy started later sees it.
bool Win32Os::AnotherInstanceRunning() {
  if (!instanceChecked_) {
    instanceChecked_ = true;
    instanceMutex_ = CreateMutexW(nullptr, FALSE, L"Local\\ZARVO.ScreenSaver.Instance");
    anotherInstance_ = instanceMutex_ && GetLastError() == ERROR_ALREADY_EXISTS;
  }
  return anotherInstance_;
}

Text Win32Os::ExePath() {
  std::wstring path(MAX_PATH, L'\0');
  for (;;) {
    DWORD length = GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size()));
    if (length == 0) return {};
    if (length < path.size()) return FromW(path.data(), length);
    path.resize(path.size() * 2);  // truncated: a long path
  }
}

VersionInfo Win32Os::Version() {
  if (version_) return *version_;
  VersionInfo info;
  Text exe = ExePath();
  VersionApi api;
  DWORD ignored = 0;
  DWORD size = api.infoSize && api.info && api.query ? api.infoSize(W(exe), &ignored) : 0;
  std::vector<BYTE> data(size);
  if (size > 0 && api.info(W(exe), 0, size, data.data())) {
    VS_FIXEDFILEINFO* fixed = nullptr;
    UINT length = 0;
    if (api.query(data.data(), L"\\", reinterpret_cast<void**>(&fixed), &length) && fixed &&
        length >= sizeof *fixed) {
      info.major = static_cast<std::int16_t>(HIWORD(fixed->dwFileVersionMS));
      info.minor = static_cast<std::int16_t>(LOWORD(fixed->dwFileVersionMS));
      info.revision = static_cast<std::int16_t>(LOWORD(fixed->dwFileVersionLS));
    }
    std::wstring table = StringTable(api, data.data());
    info.title = StringValue(api, data.data(), table, L"ProductName");
    if (info.title.empty()) info.title = StringValue(api, data.data(), table, L"FileDescription");
    info.companyName = StringValue(api, data.data(), table, L"CompanyName");
    info.legalCopyright = StringValue(api, data.data(), table, L"LegalCopyright");
  }
  if (info.title.empty()) info.title = BaseName(exe);
  version_ = info;
  return info;
}

void Win32Os::ExitProcess() { ::ExitProcess(0); }

void Win32Os::GuardHiddenWindow(WindowId window) {
  windowGuard_.Start(ToHwnd(window), W(ExePath()));
}

void Win32Os::DismissGuard() { windowGuard_.Dismiss(); }

std::shared_ptr<PictureLoad> Win32Os::BeginLoadPicture(const LoadRequest& request) {
  return BeginPictureLoad(request);
}

std::shared_ptr<PictureLoad> Win32Os::BeginPreparePicture(const LoadRequest& request) {
  return BeginPictureLoad(request, /*ahead=*/true);
}

// A file Dir finds with its default attributes: not a folder, not hidden,
// not a system file.
bool Win32Os::IsNormalFile(const Text& path) {
  if (path.empty()) return false;
  DWORD attributes = GetFileAttributesW(W(path));
  constexpr DWORD kNotNormal = FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_HIDDEN |
                               FILE_ATTRIBUTE_SYSTEM | FILE_ATTRIBUTE_DEVICE;
  return attributes != INVALID_FILE_ATTRIBUTES && !(attributes & kNotNormal);
}

// Starts exactly `path`: the application name is given, and the command line
// quotes it, so that "C:\Program Files\x.exe" can never start C:\Program.exe.
std::uint32_t Win32Os::Shell(const Text& path, int windowStyle) {
  STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  startup.dwFlags = STARTF_USESHOWWINDOW;
  startup.wShowWindow = ShowCommandFor(windowStyle);
  std::wstring commandLine = L"\"" + std::wstring(W(path)) + L"\"";
  PROCESS_INFORMATION process{};
  if (!CreateProcessW(W(path), commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                      &startup, &process))
    throw RuntimeError(ErrorCode::FileNotFound, "Shell");
  CloseHandle(process.hThread);
  CloseHandle(process.hProcess);
  return process.dwProcessId;
}

std::string Win32Os::ToAnsi(const Text& text) {
  if (text.empty()) return {};
  int length = static_cast<int>(text.size());
  int bytes = WideCharToMultiByte(CP_ACP, 0, W(text), length, nullptr, 0, nullptr, nullptr);
  std::string result(static_cast<std::size_t>(std::max(bytes, 0)), '\0');
  WideCharToMultiByte(CP_ACP, 0, W(text), length, result.data(), bytes, nullptr, nullptr);
  return result;
}

Text Win32Os::FromAnsi(std::string_view bytes) {
  if (bytes.empty()) return {};
  int length = static_cast<int>(bytes.size());
  int units = MultiByteToWideChar(CP_ACP, 0, bytes.data(), length, nullptr, 0);
  std::wstring result(static_cast<std::size_t>(std::max(units, 0)), L'\0');
  MultiByteToWideChar(CP_ACP, 0, bytes.data(), length, result.data(), units);
  return FromW(result.data(), result.size());
}

}  // namespace host::win32
