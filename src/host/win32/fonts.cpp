#include "host/win32/fonts.h"

#include <algorithm>
#include <iterator>
#include <map>
#include <string>
#include <tuple>

#include "host/win32/dyn_api.h"
#include "host/win32/wide.h"

namespace host::win32 {

namespace {

// Gothic faces that carry the Japanese characters, by preference: Windows'
// own first, then those of Wine and Linux desktops.
constexpr const wchar_t* kJapaneseFaces[] = {
    L"MS PGothic", L"MS UI Gothic", L"Yu Gothic UI", L"Meiryo UI",    L"Meiryo",
    L"IPAPGothic", L"IPAGothic",    L"VL PGothic",   L"TakaoPGothic",
};

int CALLBACK NoteFound(const LOGFONTW*, const TEXTMETRICW*, DWORD, LPARAM found) {
  *reinterpret_cast<bool*>(found) = true;
  return 0;  // one is enough
}

// Whether the system has `face` with characters of `charset`.
bool HasFace(const std::wstring& face, BYTE charset) {
  if (face.empty() || face.size() >= LF_FACESIZE) return false;
  LOGFONTW query{};
  query.lfCharSet = charset;
  face.copy(query.lfFaceName, face.size());
  bool found = false;
  HDC screen = GetDC(nullptr);
  EnumFontFamiliesExW(screen, &query, &NoteFound, reinterpret_cast<LPARAM>(&found), 0);
  ReleaseDC(nullptr, screen);
  return found;
}

std::wstring JapaneseFace() {
  for (const wchar_t* face : kJapaneseFaces)
    if (HasFace(face, SHIFTJIS_CHARSET)) return face;
  return {};
}

void SetFace(LOGFONTW& font, const std::wstring& face) {
  std::wstring name = face.substr(0, LF_FACESIZE - 1);
  std::fill(std::begin(font.lfFaceName), std::end(font.lfFaceName), L'\0');
  name.copy(font.lfFaceName, name.size());
}

LOGFONTW MessageFont(UINT dpi) {
  LOGFONTW font = NonClientMetrics(dpi).lfMessageFont;
  if (!HasFace(font.lfFaceName, SHIFTJIS_CHARSET))
    if (std::wstring face = JapaneseFace(); !face.empty()) SetFace(font, face);
  return font;
}

LOGFONTW NamedFont(const FontSpec& desc, UINT dpi) {
  LOGFONTW font{};
  font.lfHeight = -MulDiv(desc.pointSize, static_cast<int>(dpi), 72);
  font.lfWeight = desc.weight;
  font.lfCharSet = static_cast<BYTE>(desc.charset);
  font.lfQuality = DEFAULT_QUALITY;
  font.lfOutPrecision = OUT_DEFAULT_PRECIS;
  std::wstring face(W(desc.face));
  if (!HasFace(face, DEFAULT_CHARSET)) {
    std::wstring fallback = JapaneseFace();
    if (!fallback.empty()) face = fallback;
  }
  SetFace(font, face);
  return font;
}

}  // namespace

HFONT FontFor(const FontSpec& desc, UINT dpi) {
  using Key = std::tuple<Text, int, int, int, UINT>;
  static std::map<Key, HFONT> cache;
  Key key{desc.face, desc.pointSize, desc.weight, desc.charset, dpi};
  if (auto it = cache.find(key); it != cache.end()) return it->second;
  LOGFONTW font = desc.face.empty() ? MessageFont(dpi) : NamedFont(desc, dpi);
  font.lfWeight = desc.weight;
  HFONT handle = CreateFontIndirectW(&font);
  if (!handle) handle = static_cast<HFONT>(GetStockObject(DEFAULT_GUI_FONT));
  cache.emplace(key, handle);
  return handle;
}

}  // namespace host::win32
