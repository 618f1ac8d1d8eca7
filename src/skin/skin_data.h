// The skin file: named items (one per look a control can take) and named
// areas that adjust an item for one place in the window. Pure text parsing,
// so it is tested natively.
//
//   ; comment
//   [button]            an item
//   color=#2F7BF5
//   radius=4
//   [area:btnexercise]  an area; its keys override the item's
//   fontSize=16
#pragma once

#include <cstdint>
#include <map>
#include <stdexcept>
#include <string>
#include <string_view>

namespace orvek::skin {

// 0x00BBGGRR, the layout GDI's COLORREF uses, so the Windows side passes it on.
using Colour = std::uint32_t;

constexpr Colour MakeColour(int r, int g, int b) {
  return static_cast<Colour>(r) | (static_cast<Colour>(g) << 8) | (static_cast<Colour>(b) << 16);
}

class SkinFormatError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// The look of one item after an area has been applied. Every field has a
// value: keys missing from the file keep these defaults.
struct SkinItem {
  Colour color = MakeColour(0xFF, 0xFF, 0xFF);       // face
  Colour color2 = MakeColour(0xFF, 0xFF, 0xFF);      // gradient end (top to bottom)
  Colour border = MakeColour(0xD0, 0xD0, 0xD0);
  int border_width = 0;
  int radius = 0;
  Colour text = MakeColour(0x33, 0x33, 0x33);
  Colour hover = MakeColour(0xFF, 0xFF, 0xFF);
  Colour pressed = MakeColour(0xFF, 0xFF, 0xFF);
  Colour disabled = MakeColour(0xC8, 0xC8, 0xC8);
  Colour disabled_text = MakeColour(0xFF, 0xFF, 0xFF);
  Colour accent = MakeColour(0x2F, 0x7B, 0xF5);      // check mark, progress fill
  Colour track = MakeColour(0xE6, 0xEA, 0xF0);       // progress groove
  std::wstring font = L"Microsoft YaHei UI";
  int font_size = 14;                                // character height in pixels
  bool bold = false;
  bool flat = false;                                 // face drawn only under the mouse
  std::wstring glyph;                                // "chevron-down", "folder", ...
};

class SkinData {
 public:
  // Parses the UTF-8 text of a skin file. Throws SkinFormatError naming the
  // line for a line that is neither a section, a key=value pair, a comment
  // nor blank, for an unknown key and for a malformed value.
  static SkinData Parse(std::string_view text);

  bool HasItem(std::string_view name) const;
  bool HasArea(std::string_view name) const;

  // The item with the area's keys applied on top. An unknown item gives the
  // defaults (a control must still draw when a name is misspelt); an empty or
  // unknown area changes nothing.
  SkinItem Resolve(std::string_view item, std::string_view area = {}) const;

 private:
  using Keys = std::map<std::string, std::string, std::less<>>;
  static void Apply(const Keys& keys, SkinItem& item);

  std::map<std::string, Keys, std::less<>> items_;
  std::map<std::string, Keys, std::less<>> areas_;
};

// "#RRGGBB" => MakeColour(RR, GG, BB). Throws SkinFormatError otherwise.
Colour ParseColour(std::string_view text);

}  // namespace orvek::skin
