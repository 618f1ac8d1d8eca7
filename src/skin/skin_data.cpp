#include "skin/skin_data.h"

#include <charconv>

#include "base/text.h"

namespace orvek::skin {
namespace {

int HexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

int ParseInt(std::string_view text, std::string_view key) {
  int value = 0;
  const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (ec != std::errc() || end != text.data() + text.size() || value < 0) {
    throw SkinFormatError("bad number for " + std::string(key) + ": " + std::string(text));
  }
  return value;
}

// Skin files carry only ASCII names (font names included), so widening
// byte by byte is exact; anything else is refused rather than garbled.
std::wstring Widen(std::string_view text, std::string_view key) {
  std::wstring out;
  for (const char c : text) {
    if (static_cast<unsigned char>(c) > 0x7F) {
      throw SkinFormatError("non-ASCII value for " + std::string(key));
    }
    out.push_back(static_cast<wchar_t>(c));
  }
  return out;
}

}  // namespace

Colour ParseColour(std::string_view text) {
  if (text.size() != 7 || text[0] != '#') {
    throw SkinFormatError("bad colour: " + std::string(text));
  }
  int rgb[3];
  for (int i = 0; i < 3; ++i) {
    const int hi = HexDigit(text[1 + 2 * i]), lo = HexDigit(text[2 + 2 * i]);
    if (hi < 0 || lo < 0) throw SkinFormatError("bad colour: " + std::string(text));
    rgb[i] = hi * 16 + lo;
  }
  return MakeColour(rgb[0], rgb[1], rgb[2]);
}

SkinData SkinData::Parse(std::string_view text) {
  SkinData data;
  Keys* current = nullptr;
  int line_no = 0;
  while (!text.empty()) {
    ++line_no;
    const auto nl = text.find('\n');
    const std::string_view line = base::Trim(text.substr(0, nl));
    text = nl == std::string_view::npos ? std::string_view{} : text.substr(nl + 1);
    const auto where = [&] { return "skin line " + std::to_string(line_no) + ": "; };
    if (line.empty() || line[0] == ';' || line[0] == '#') continue;
    if (line.front() == '[') {
      if (line.back() != ']' || line.size() < 3) throw SkinFormatError(where() + "bad section");
      const std::string_view name = base::Trim(line.substr(1, line.size() - 2));
      if (name.substr(0, 5) == "area:") {
        current = &data.areas_[std::string(base::Trim(name.substr(5)))];
      } else {
        current = &data.items_[std::string(name)];
      }
      continue;
    }
    const auto eq = line.find('=');
    if (eq == std::string_view::npos) throw SkinFormatError(where() + "expected key=value");
    if (!current) throw SkinFormatError(where() + "key outside a section");
    const std::string key(base::Trim(line.substr(0, eq)));
    const std::string value(base::Trim(line.substr(eq + 1)));
    // Validate now, so a broken file fails at load rather than at first paint.
    SkinItem probe;
    try {
      Apply(Keys{{key, value}}, probe);
    } catch (const SkinFormatError& e) {
      throw SkinFormatError(where() + e.what());
    }
    (*current)[key] = value;
  }
  return data;
}

void SkinData::Apply(const Keys& keys, SkinItem& item) {
  for (const auto& [key, value] : keys) {
    if (key == "color") item.color = item.color2 = ParseColour(value);
    else if (key == "color2") item.color2 = ParseColour(value);
    else if (key == "border") item.border = ParseColour(value);
    else if (key == "borderWidth") item.border_width = ParseInt(value, key);
    else if (key == "radius") item.radius = ParseInt(value, key);
    else if (key == "text") item.text = ParseColour(value);
    else if (key == "hover") item.hover = ParseColour(value);
    else if (key == "pressed") item.pressed = ParseColour(value);
    else if (key == "disabled") item.disabled = ParseColour(value);
    else if (key == "disabledText") item.disabled_text = ParseColour(value);
    else if (key == "accent") item.accent = ParseColour(value);
    else if (key == "track") item.track = ParseColour(value);
    else if (key == "font") item.font = Widen(value, key);
    else if (key == "fontSize") item.font_size = ParseInt(value, key);
    else if (key == "bold") item.bold = ParseInt(value, key) != 0;
    else if (key == "flat") item.flat = ParseInt(value, key) != 0;
    else if (key == "glyph") item.glyph = Widen(value, key);
    else throw SkinFormatError("unknown key " + key);
  }
}

bool SkinData::HasItem(std::string_view name) const { return items_.find(name) != items_.end(); }
bool SkinData::HasArea(std::string_view name) const { return areas_.find(name) != areas_.end(); }

SkinItem SkinData::Resolve(std::string_view item, std::string_view area) const {
  SkinItem out;
  // "color" sets both gradient ends, so it must be applied before "color2"
  // whatever the key order: std::map sorts "color" first.
  if (const auto it = items_.find(item); it != items_.end()) Apply(it->second, out);
  if (!area.empty()) {
    if (const auto it = areas_.find(area); it != areas_.end()) Apply(it->second, out);
  }
  return out;
}

}  // namespace orvek::skin
