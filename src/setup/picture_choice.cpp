#include "setup/picture_choice.h"

#include <algorithm>

#include "host/picture/header.h"

namespace setup {

namespace {

using host::picture::HeaderVerdict;
using host::picture::PictureFormat;

// Lower case for the letters that have it in the scripts a file name is
// most often written in: Latin (ASCII, Latin-1 and full-width), Greek and
// Cyrillic. Kana and kanji have no case.
char16_t Fold(char16_t c) {
  const auto in = [c](char16_t first, char16_t last) { return c >= first && c <= last; };
  if (in(u'A', u'Z') || in(u'Ａ', u'Ｚ') || (in(u'À', u'Þ') && c != u'×') ||
      (in(u'Α', u'Ω') && c != 0x03A2) || in(u'А', u'Я')) {
    return static_cast<char16_t>(c + 0x20);
  }
  if (in(u'Ѐ', u'Џ')) return static_cast<char16_t>(c + 0x50);
  return c;
}

// A decimal digit, half-width or full-width; -1 for anything else.
int DigitValue(char16_t c) {
  if (c >= u'0' && c <= u'9') return c - u'0';
  if (c >= u'０' && c <= u'９') return c - u'０';
  return -1;
}

// The run of digits that starts at `at`, without its leading zeros; `at`
// is moved past the run.
std::u16string_view SignificantDigits(std::u16string_view text, std::size_t& at) {
  while (at < text.size() && DigitValue(text[at]) == 0) ++at;
  const std::size_t first = at;
  while (at < text.size() && DigitValue(text[at]) >= 0) ++at;
  return text.substr(first, at - first);
}

// Two numbers of any length: more significant digits is larger, else the
// first digit that differs decides.
int CompareNumbers(std::u16string_view a, std::u16string_view b) {
  if (a.size() != b.size()) return a.size() < b.size() ? -1 : 1;
  for (std::size_t i = 0; i < a.size(); ++i) {
    const int da = DigitValue(a[i]), db = DigitValue(b[i]);
    if (da != db) return da < db ? -1 : 1;
  }
  return 0;
}

// The header check reads only forward from fixed places, and a read past
// the end gives Unreadable: any other verdict on the head is the verdict
// on the whole file. An icon is the exception, as it passes over images
// whose data lies beyond the end.
bool HeadSettles(HeaderVerdict verdict, PictureFormat format, std::size_t headSize) {
  constexpr std::size_t kLongestSignature = 8;  // PNG's
  return verdict != HeaderVerdict::Unreadable && format != PictureFormat::Ico &&
         headSize >= kLongestSignature;
}

char16_t AsciiUpper(char16_t c) { return c >= u'a' && c <= u'z' ? c - (u'a' - u'A') : c; }

bool EqualCaseless(std::u16string_view a, std::u16string_view b) {
  return a.size() == b.size() &&
         std::equal(a.begin(), a.end(), b.begin(),
                    [](char16_t x, char16_t y) { return AsciiUpper(x) == AsciiUpper(y); });
}

}  // namespace

int CompareNames(std::u16string_view a, std::u16string_view b) {
  std::size_t i = 0, j = 0;
  while (i < a.size() && j < b.size()) {
    const bool digitA = DigitValue(a[i]) >= 0, digitB = DigitValue(b[j]) >= 0;
    if (digitA && digitB) {
      const int order = CompareNumbers(SignificantDigits(a, i), SignificantDigits(b, j));
      if (order != 0) return order;
      continue;
    }
    if (digitA != digitB) return digitA ? -1 : 1;
    const char16_t ca = Fold(a[i++]), cb = Fold(b[j++]);
    if (ca != cb) return ca < cb ? -1 : 1;
  }
  return static_cast<int>(i < a.size()) - static_cast<int>(j < b.size());
}

bool IsSlotFile(std::u16string_view name) {
  constexpr std::u16string_view kPrefix = u"ZARVO", kExtension = u".DAT";
  constexpr std::size_t kDigits = 3, kLength = kPrefix.size() + kDigits + kExtension.size();
  if (name.size() < kLength || !EqualCaseless(name.substr(0, kPrefix.size()), kPrefix) ||
      !EqualCaseless(name.substr(kPrefix.size() + kDigits, kExtension.size()), kExtension)) {
    return false;
  }
  int number = 0;
  for (std::size_t i = kPrefix.size(); i < kPrefix.size() + kDigits; ++i) {
    if (name[i] < u'0' || name[i] > u'9') return false;
    number = number * 10 + (name[i] - u'0');
  }
  const std::u16string_view rest = name.substr(kLength);
  return number >= 1 && number <= kSlotCount &&
         (rest.empty() || EqualCaseless(rest, kStagedSuffix) || EqualCaseless(rest, kAsideSuffix));
}

Content JudgeContent(host::picture::Bytes head, std::uint64_t fileSize) {
  host::picture::PictureHeader header;
  const HeaderVerdict verdict = host::picture::CheckPictureHeader(head, header);
  if (verdict == HeaderVerdict::UnknownFormat) return Content::AskCodecs;
  if (head.size() < fileSize && !HeadSettles(verdict, header.format, head.size())) {
    return Content::AskCodecs;
  }
  return verdict == HeaderVerdict::Ok ? Content::Picture : Content::NotPicture;
}

void SortByName(std::vector<FoundFile>& pictures, NameOrder order) {
  std::sort(pictures.begin(), pictures.end(), [order](const FoundFile& a, const FoundFile& b) {
    const int compared = order(a.name, b.name);
    return compared != 0 ? compared < 0 : a.name < b.name;
  });
}

std::size_t SourceOfSlot(int slot, std::size_t count) {
  const auto k = static_cast<std::uint64_t>(slot);
  return static_cast<std::size_t>(count >= kSlotCount ? k * count / kSlotCount : k % count);
}

std::uint64_t CopiesSize(const std::vector<FoundFile>& pictures) {
  std::uint64_t total = 0;
  for (int slot = 0; slot < kSlotCount; ++slot) {
    total += pictures[SourceOfSlot(slot, pictures.size())].size;
  }
  return total;
}

}  // namespace setup
