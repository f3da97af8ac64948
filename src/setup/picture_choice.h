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

// Explorer's order of names, as StrCmpLogicalW has it: letters compared
// without regard to case, a run of digits compared as one number by its
// value and placed before any other character. Negative, 0 or positive.
int CompareNames(std::u16string_view a, std::u16string_view b);

enum class Content { Picture, NotPicture, NeedWholeFile };

// Whether a file whose first bytes are `head` and whose size is `fileSize`
// holds a picture the saver shows, by the saver's own header check.
// NeedWholeFile: the head does not settle it; ask again with every byte.
Content JudgeContent(host::picture::Bytes head, std::uint64_t fileSize);

struct FoundFile {
  std::u16string name;
  std::uint64_t size = 0;
};

// The pictures in Explorer's order. Names that compare equal (only their
// case or their leading zeros differ) keep an order by their code units,
// so the choice never depends on the order in which the folder was listed.
void SortByName(std::vector<FoundFile>& pictures);

// The place, in that order, of the picture that slot `slot` (0 ... 49)
// receives: with fewer than fifty pictures they take their turns; with
// fifty or more they are spread evenly, starting with the first.
std::size_t SourceOfSlot(int slot, std::size_t count);

// Bytes that the fifty copies of `pictures` (in order) take together.
std::uint64_t CopiesSize(const std::vector<FoundFile>& pictures);

}  // namespace setup
