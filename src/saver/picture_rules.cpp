#include "saver/picture_rules.h"

#include "host/runtime.h"

namespace saver {

using host::CheckFinite;
using host::Divide;
using host::ToSingle;

host::Text PictureFileName(const host::Text& folder, std::int16_t index) {
  const bool atRoot = !folder.empty() && folder.back() == u'\\';
  return folder + (atRoot ? u"ZARVO" : u"\\ZARVO") + host::ZeroPad(index, 3) + u".DAT";
}

namespace {

PicturePlacement NaturalSize(double sw, double sh, float w, float h) {
  return {Fit::NaturalSize,
          false,
          ToSingle(Divide(CheckFinite(sw - w), 2)),
          ToSingle(Divide(CheckFinite(sh - h), 2)),
          w,
          h};
}

PicturePlacement FitToWidth(double sw, double sh, double ratio) {
  const float height = ToSingle(Divide(sw, ratio));
  return {Fit::ToWidth, true,  0, ToSingle(Divide(CheckFinite(sh - height), 2)),
          ToSingle(sw), height};
}

PicturePlacement FitToHeight(double sw, double sh, double ratio) {
  const float width = ToSingle(CheckFinite(sh * ratio));
  return {Fit::ToHeight, true,        ToSingle(Divide(CheckFinite(sw - width), 2)), 0,
          width,         ToSingle(sh)};
}

}  // namespace

PicturePlacement FitPicture(double screenWidth, double screenHeight, float naturalWidth,
                            float naturalHeight) {
  const double ratio = Divide(naturalWidth, naturalHeight);
  if (ToSingle(screenWidth) > naturalWidth && ToSingle(screenHeight) > naturalHeight) {
    return NaturalSize(screenWidth, screenHeight, naturalWidth, naturalHeight);
  }
  const float screenRatio = ToSingle(Divide(screenWidth, screenHeight));
  const float pictureRatio = ToSingle(ratio);
  const bool landscape = naturalWidth > naturalHeight;
  const bool toWidth = landscape ? screenRatio < pictureRatio : !(screenRatio > pictureRatio);
  return toWidth ? FitToWidth(screenWidth, screenHeight, ratio)
                 : FitToHeight(screenWidth, screenHeight, ratio);
}

}  // namespace saver
