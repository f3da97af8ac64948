// Which files of a folder become the saver's fifty pictures, in which order
// and under which of the fifty names. The setup program's helper lists,
// reads and copies the files; these rules decide, and take plain values.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "host/picture/bytes.h"

namespace setup {

// The saver shows ZARVO001.DAT ... ZARVO050.DAT.
inline constexpr int kSlotCount = 50;

// How much of a file is read first: enough for the headers of nearly every
// picture, so that a large folder is judged without reading it whole.
inline constexpr std::uint64_t kHeadBytes = 256 * 1024;

// While the fifty are replaced, the new copies wait under the slot's name
// with kStagedSuffix and the old files under kAsideSuffix.
inline constexpr std::u16string_view kStagedSuffix = u".new";
inline constexpr std::u16string_view kAsideSuffix = u".old";

// Explorer's order of names, as StrCmpLogicalW has it: letters compared
// without regard to case, a run of digits compared as one number by its
// value and placed before any other character. Negative, 0 or positive.
// Windows' own StrCmpLogicalW is used where there is one; this is its model.
int CompareNames(std::u16string_view a, std::u16string_view b);
using NameOrder = int (*)(std::u16string_view, std::u16string_view);

// One of the fifty slot names (ZARVO001.DAT ... ZARVO050.DAT, case ignored,
// as the file system ignores it) or one with a passing suffix: the
// helper's own output, never a picture of its own folder.
bool IsSlotFile(std::u16string_view name);

enum class Content { Picture, NotPicture, AskCodecs };

// Whether a file whose first bytes are `head` and whose size is `fileSize`
// holds a picture the saver shows, by the saver's own header check.
// AskCodecs: a format the check does not know, or headers beyond the head
// (a TIFF's directory at its end, an icon's images): as the saver does,
// let the system's codecs open the file and tell its size.
Content JudgeContent(host::picture::Bytes head, std::uint64_t fileSize);

struct FoundFile {
  std::u16string name;
  std::uint64_t size = 0;
};

// The pictures in Explorer's order. Names that compare equal (only their
// case or their leading zeros differ) keep an order by their code units,
// so the choice never depends on the order in which the folder was listed.
void SortByName(std::vector<FoundFile>& pictures, NameOrder order = CompareNames);

// The place, in that order, of the picture that slot `slot` (0 ... 49)
// receives: with fewer than fifty pictures they take their turns; with
// fifty or more they are spread evenly, starting with the first.
std::size_t SourceOfSlot(int slot, std::size_t count);

// Bytes that the fifty copies of `pictures` (in order) take together.
std::uint64_t CopiesSize(const std::vector<FoundFile>& pictures);

}  // namespace setup
