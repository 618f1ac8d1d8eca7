#include "base/unicode.h"

namespace orvek::base {
namespace {

constexpr char32_t kReplacement = 0xFFFD;

void AppendUtf8(std::string& out, char32_t cp) {
  if (cp < 0x80) {
    out += static_cast<char>(cp);
  } else if (cp < 0x800) {
    out += static_cast<char>(0xC0 | (cp >> 6));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  } else if (cp < 0x10000) {
    out += static_cast<char>(0xE0 | (cp >> 12));
    out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  } else {
    out += static_cast<char>(0xF0 | (cp >> 18));
    out += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
    out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  }
}

void AppendWide(std::wstring& out, char32_t cp) {
  if constexpr (sizeof(wchar_t) == 2) {
    if (cp >= 0x10000) {
      cp -= 0x10000;
      out += static_cast<wchar_t>(0xD800 + (cp >> 10));
      out += static_cast<wchar_t>(0xDC00 + (cp & 0x3FF));
      return;
    }
  }
  out += static_cast<wchar_t>(cp);
}

bool IsHighSurrogate(char32_t c) { return c >= 0xD800 && c <= 0xDBFF; }
bool IsLowSurrogate(char32_t c) { return c >= 0xDC00 && c <= 0xDFFF; }
bool IsSurrogate(char32_t c) { return c >= 0xD800 && c <= 0xDFFF; }

}  // namespace

std::string Utf8FromWide(std::wstring_view text) {
  std::string out;
  out.reserve(text.size());
  for (std::size_t i = 0; i < text.size(); ++i) {
    char32_t cp = static_cast<char32_t>(text[i]);
    if (IsHighSurrogate(cp) && i + 1 < text.size() &&
        IsLowSurrogate(static_cast<char32_t>(text[i + 1]))) {
      cp = 0x10000 + ((cp - 0xD800) << 10) + (static_cast<char32_t>(text[i + 1]) - 0xDC00);
      ++i;
    } else if (IsSurrogate(cp) || cp > 0x10FFFF) {
      cp = kReplacement;
    }
    AppendUtf8(out, cp);
  }
  return out;
}

std::wstring WideFromUtf8(std::string_view bytes) {
  std::wstring out;
  out.reserve(bytes.size());
  std::size_t i = 0;
  while (i < bytes.size()) {
    const auto lead = static_cast<unsigned char>(bytes[i]);
    int extra = 0;
    char32_t cp = 0;
    char32_t min = 0;
    if (lead < 0x80) {
      cp = lead;
    } else if ((lead & 0xE0) == 0xC0) {
      extra = 1, cp = lead & 0x1F, min = 0x80;
    } else if ((lead & 0xF0) == 0xE0) {
      extra = 2, cp = lead & 0x0F, min = 0x800;
    } else if ((lead & 0xF8) == 0xF0) {
      extra = 3, cp = lead & 0x07, min = 0x10000;
    } else {
      AppendWide(out, kReplacement);
      ++i;
      continue;
    }
    std::size_t n = 1;
    for (; n <= static_cast<std::size_t>(extra) && i + n < bytes.size(); ++n) {
      const auto next = static_cast<unsigned char>(bytes[i + n]);
      if ((next & 0xC0) != 0x80) break;
      cp = (cp << 6) | (next & 0x3F);
    }
    if (n != static_cast<std::size_t>(extra) + 1 || cp < min || cp > 0x10FFFF || IsSurrogate(cp)) {
      // Skip the lead byte and whatever continuation bytes it managed to take.
      AppendWide(out, kReplacement);
      i += n;
      continue;
    }
    AppendWide(out, cp);
    i += n;
  }
  return out;
}

std::wstring WideFromUtf16(std::string_view bytes, bool big_endian) {
  std::wstring out;
  out.reserve(bytes.size() / 2);
  char32_t pending_high = 0;
  for (std::size_t i = 0; i + 1 < bytes.size(); i += 2) {
    const auto b0 = static_cast<unsigned char>(bytes[i]);
    const auto b1 = static_cast<unsigned char>(bytes[i + 1]);
    const char32_t unit = big_endian ? (b0 << 8 | b1) : (b1 << 8 | b0);
    if (pending_high != 0) {
      if (IsLowSurrogate(unit)) {
        AppendWide(out, 0x10000 + ((pending_high - 0xD800) << 10) + (unit - 0xDC00));
        pending_high = 0;
        continue;
      }
      AppendWide(out, kReplacement);
      pending_high = 0;
    }
    if (IsHighSurrogate(unit)) {
      pending_high = unit;
    } else {
      AppendWide(out, IsLowSurrogate(unit) ? kReplacement : unit);
    }
  }
  if (pending_high != 0) AppendWide(out, kReplacement);
  return out;
}

}  // namespace orvek::base
