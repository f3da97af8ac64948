#include "host/text.h"

namespace host {

Text UCase(std::u16string_view text) {
  Text upper(text);
  for (char16_t& c : upper) {
    if ((c >= u'a' && c <= u'z') || (c >= u'ａ' && c <= u'ｚ')) c = static_cast<char16_t>(c - 0x20);
  }
  return upper;
}

Text Left(std::u16string_view text, std::size_t count) { return Text(text.substr(0, count)); }

Text Replace(std::u16string_view text, std::u16string_view find, std::u16string_view with) {
  if (find.empty()) return Text(text);
  Text result;
  std::size_t from = 0;
  for (std::size_t at = text.find(find); at != std::u16string_view::npos;
       at = text.find(find, from)) {
    result.append(text.substr(from, at - from)).append(with);
    from = at + find.size();
  }
  result.append(text.substr(from));
  return result;
}

Text Str(std::int64_t value) {
  const std::string digits = std::to_string(value);
  return Text(digits.begin(), digits.end());
}

Text ZeroPad(std::int64_t value, int width) {
  Text digits = Str(value < 0 ? -value : value);
  if (static_cast<int>(digits.size()) < width) digits.insert(0, width - digits.size(), u'0');
  return value < 0 ? u"-" + digits : digits;
}

std::string ToUtf8(std::u16string_view text) {
  std::string out;
  for (std::size_t i = 0; i < text.size(); ++i) {
    char32_t c = text[i];
    if (c >= 0xD800 && c < 0xDC00 && i + 1 < text.size() && text[i + 1] >= 0xDC00 &&
        text[i + 1] < 0xE000) {
      c = 0x10000 + ((c - 0xD800) << 10) + (text[++i] - 0xDC00);
    } else if (c >= 0xD800 && c < 0xE000) {
      c = 0xFFFD;  // a lone surrogate
    }
    if (c < 0x80) {
      out += static_cast<char>(c);
    } else if (c < 0x800) {
      out += static_cast<char>(0xC0 | (c >> 6));
      out += static_cast<char>(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
      out += static_cast<char>(0xE0 | (c >> 12));
      out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
      out += static_cast<char>(0x80 | (c & 0x3F));
    } else {
      out += static_cast<char>(0xF0 | (c >> 18));
      out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
      out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
      out += static_cast<char>(0x80 | (c & 0x3F));
    }
  }
  return out;
}

Text FromUtf8(std::string_view utf8) {
  Text out;
  for (std::size_t i = 0; i < utf8.size();) {
    const auto lead = static_cast<unsigned char>(utf8[i]);
    const int extra = lead < 0x80 ? 0 : lead >= 0xF0 ? 3 : lead >= 0xE0 ? 2 : lead >= 0xC0 ? 1 : -1;
    char32_t c = extra < 0 ? 0xFFFD : extra == 0 ? lead : lead & (0x3F >> extra);
    std::size_t next = i + 1;
    for (int k = 0; k < extra; ++k, ++next) {
      if (next >= utf8.size() || (static_cast<unsigned char>(utf8[next]) & 0xC0) != 0x80) {
        c = 0xFFFD;
        break;
      }
      c = (c << 6) | (static_cast<unsigned char>(utf8[next]) & 0x3F);
    }
    i = next;
    if (c >= 0x10000 && c <= 0x10FFFF) {
      out += static_cast<char16_t>(0xD800 + ((c - 0x10000) >> 10));
      out += static_cast<char16_t>(0xDC00 + ((c - 0x10000) & 0x3FF));
    } else {
      out += static_cast<char16_t>(c > 0x10FFFF ? 0xFFFD : c);
    }
  }
  return out;
}

}  // namespace host
