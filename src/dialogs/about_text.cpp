#include "dialogs/about_text.h"

namespace dialogs {

host::Text VersionLine(std::int16_t major, std::int16_t minor, std::int16_t revision) {
  return u"ﾊﾞｰｼﾞｮﾝ " + host::Str(major) + u"." + host::Str(minor) + u"." + host::Str(revision);
}

host::Text CopyrightLines(const host::Text& legalCopyright) {
  return host::Replace(legalCopyright, u"  ", u"\r\n");
}

host::Text AboutCaption(const host::Text& title) { return title + u"のﾊﾞｰｼﾞｮﾝ情報"; }

}  // namespace dialogs
