// The naming and fitting rules of the picture cycle: plain values in, plain
// values out, no toolkit.
#pragma once

#include <cstdint>

#include "host/text.h"

namespace saver {

// "<folder>\ZARVO<nnn>.DAT"; a folder that already ends in "\" (a drive
// root) gets no second one.
host::Text PictureFileName(const host::Text& folder, std::int16_t index);

enum class Fit { NaturalSize, ToWidth, ToHeight };

struct PicturePlacement {
  Fit fit = Fit::NaturalSize;
  bool Stretch = false;
  float Left = 0;
  float Top = 0;
  float Width = 0;
  float Height = 0;
};

// Where a picture of natural size naturalWidth x naturalHeight stands on a
// screen of screenWidth x screenHeight: at its own size and centred when it
// is smaller on both axes, otherwise scaled down to fit and centred. Raises
// a host::RuntimeError for a division by zero, an invalid operation or an
// overflow.
PicturePlacement FitPicture(double screenWidth, double screenHeight, float naturalWidth,
                            float naturalHeight);

}  // namespace saver
