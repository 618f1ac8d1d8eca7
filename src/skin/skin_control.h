// Skinned controls: real child windows drawn with GDI from the current skin.
//
// Each control takes its look from a skin item name (and an optional area)
// that can change at run time; the new look shows at the next repaint.
// Controls are double-buffered: each paint goes to a memory DC first, so a
// progress bar updated thousands of times does not flicker. Transparent
// controls (labels, images, check boxes, rounded buttons) ask their parent
// panel to draw the background behind them.
//
// For tools that inspect the window from outside, every control carries two
// window properties holding global atoms: "OrvekName" (the control's name,
// e.g. "btnInstall") and "OrvekSkin" (its current skin item name); read them
// with GlobalGetAtomNameW from any process. Screen readers learn its role,
// name, state and default action through skin_accessible.h, and hear of its
// changes (check box toggled, caption, value, enabled) as WinEvents.
//
// All members must be called on the thread that created the control.
#pragma once

#include <windows.h>

#include <functional>
#include <string>
#include <vector>

#include "base/unique_handle.h"
#include "skin/skin_data.h"

namespace orvek::skin {

// The skin every control draws with, and the DPI its sizes are scaled to
// (96 leaves them as written). The skin must outlive the controls.
void UseSkin(const SkinData* skin, int dpi);
const SkinData& CurrentSkin();
int SkinDpi();

enum class ControlKind { kPanel, kButton, kCheckBox, kLabel, kImage, kTrackBar, kEdit };
enum class Align { kNone, kTop, kBottom, kClient };
enum class TextAlign { kLeft, kCenter, kRight };

inline constexpr const wchar_t* kNameProperty = L"OrvekName";
inline constexpr const wchar_t* kSkinProperty = L"OrvekSkin";

class SkinControl {
 public:
  // Creates the child window of `parent` at `bounds` (pixels, relative to the
  // parent), visible. Throws std::runtime_error when the window cannot be made.
  SkinControl(ControlKind kind, std::wstring name, HWND parent, const RECT& bounds);
  SkinControl(const SkinControl&) = delete;
  SkinControl& operator=(const SkinControl&) = delete;
  ~SkinControl();

  HWND Handle() const { return hwnd_; }
  ControlKind Kind() const { return kind_; }
  const std::wstring& Name() const { return name_; }

  // Look. SetSkinItem does not repaint by itself; call Repaint.
  void SetSkinItem(std::wstring item);
  const std::wstring& SkinItemName() const { return skin_item_; }
  void SetArea(std::wstring area);
  void SetFont(std::wstring face, int pixel_height, bool bold = false);
  void SetTextColor(Colour colour);
  Colour TextColor() const;
  void SetTextAlign(TextAlign align) { text_align_ = align; }
  void SetWordWrap(bool wrap) { word_wrap_ = wrap; }
  void SetHandCursor(bool hand) { hand_cursor_ = hand; }
  // A frame of one pixel in the item's border colour (panels).
  void SetFrame(bool frame) { frame_ = frame; }
  // Mouse over it falls through to the window below, so the blue top drags.
  void SetHitTransparent(bool transparent) { hit_transparent_ = transparent; }
  void SetPainter(std::function<void(HDC, const RECT&)> painter) { painter_ = std::move(painter); }
  void Repaint();

  // State. Setters that change nothing neither repaint nor touch the window.
  void SetText(const std::wstring& text);
  std::wstring Text() const;
  void SetChecked(bool checked);
  bool Checked() const { return checked_; }
  void SetEnabled(bool enabled);
  bool Enabled() const;
  void SetVisible(bool visible);
  // The control's own flag, true even while a parent is hidden.
  bool Visible() const;
  // Track bar: the value is kept within the range; repaints only on change.
  void SetRange(int min, int max);
  void SetValue(int value);
  int Value() const { return value_; }

  // Geometry.
  void SetAlign(Align align) { align_ = align; }
  void SetBounds(const RECT& bounds);
  RECT Bounds() const;
  int Height() const;
  void BringToFront();

  // Pages: panels sharing one parent, of which one is seen at a time.
  // Shows this one in front and hides its siblings, so that no control of
  // theirs can be reached by the mouse or the keyboard (a hidden window gets
  // no clicks, and Tab passes it by); then, while its window is the
  // foreground window, FocusPage. A window in the background calls FocusPage
  // when it is activated again, so a page that changes behind another
  // program does not take the activation from it.
  void ShowAsPage();
  // The control FocusPage gives the focus to, when it is shown and enabled.
  void SetDefaultControl(SkinControl* control) { default_control_ = control; }
  // Gives the keyboard focus to the default control, or else to the page
  // itself, where no key starts anything.
  void FocusPage();
  // Buttons, check boxes and links are tab stops unless told otherwise.
  void SetTabStop(bool tab_stop);
  // Tab goes from control to control in the order of siblings, the order in
  // which they were made unless changed: this control comes right after
  // `previous`, so that Tab follows the page's reading order.
  void PlaceAfter(const SkinControl& previous);

  // What a screen reader calls the control: `name` when set (glyph-only
  // buttons, the logo), else the text of the label it was tied to, else its
  // caption. The label's text is read when asked, and its changes are
  // announced as changes of this control's name too.
  void SetAccessibleName(std::wstring name) { accessible_name_ = std::move(name); }
  void SetAccessibleLabel(SkinControl& label);
  // Read after the name: the text of `label` (the error a button answers).
  void SetAccessibleDescription(const SkinControl& label) { description_ = label.hwnd_; }
  std::wstring AccessibleName() const;
  std::wstring AccessibleDescription() const;
  // A label with a click handler: reached by Tab, pressed by Space or Enter.
  bool IsLink() const { return kind_ == ControlKind::kLabel && static_cast<bool>(on_click_); }

  // Lays out aligned children: top ones from the top, bottom ones from the
  // bottom, a client one in what is left; hidden ones take no space.
  void Realign();

  // Runs after a click (check boxes have toggled already), from the mouse,
  // from Space/Enter while the control has the focus or from a reader's
  // default action; never while the control is disabled or on a hidden
  // page. A label given one becomes a link.
  void SetOnClick(std::function<void()> on_click);

 private:
  friend class SkinAccessible;

  static LRESULT CALLBACK WndProc(HWND hwnd, UINT msg, WPARAM wparam, LPARAM lparam);
  static LRESULT CALLBACK EditProc(HWND hwnd, UINT msg, WPARAM wparam, LPARAM lparam);
  LRESULT HandleMessage(UINT msg, WPARAM wparam, LPARAM lparam);
  void OnPaint();
  void PaintBackground(HDC dc, const RECT& r);
  void PaintOwnBackground(HDC dc, const RECT& r, const SkinItem& item);
  void PaintContent(HDC dc, const RECT& r, const SkinItem& item);
  void PaintButton(HDC dc, const RECT& r, const SkinItem& item);
  void PaintCheckBox(HDC dc, const RECT& r, const SkinItem& item);
  void PaintTrackBar(HDC dc, const RECT& r, const SkinItem& item);
  void PaintText(HDC dc, RECT r, const SkinItem& item, Colour colour, UINT extra_format);
  void PaintTextFocus(HDC dc, const RECT& r, const SkinItem& item, UINT format);
  HFONT Font(const SkinItem& item);
  SkinItem Look() const;
  bool IsOpaque() const;
  bool Activatable() const;
  void Activate();
  // Tells readers that something they may have read has changed.
  void NotifyChange(DWORD event) const;
  void SetAtomProperty(const wchar_t* property, const std::wstring& value);
  void RemoveAtomProperty(const wchar_t* property);
  static SkinControl* FromHandle(HWND hwnd);

  ControlKind kind_;
  std::wstring name_;
  HWND hwnd_ = nullptr;
  HWND edit_ = nullptr;  // the real EDIT control inside a kEdit
  SkinControl* parent_ = nullptr;
  std::vector<SkinControl*> children_;
  SkinControl* default_control_ = nullptr;
  std::wstring skin_item_, area_;
  std::wstring font_face_;
  int font_height_ = 0;
  bool font_bold_ = false;
  bool has_text_colour_ = false;
  Colour text_colour_ = 0;
  TextAlign text_align_ = TextAlign::kLeft;
  bool word_wrap_ = false;
  bool hand_cursor_ = false;
  bool frame_ = false;
  bool hit_transparent_ = false;
  bool checked_ = false;
  bool hover_ = false;
  bool pressed_ = false;
  int min_ = 0, max_ = 100, value_ = 0;
  Align align_ = Align::kNone;
  std::wstring text_;
  std::function<void()> on_click_;
  std::function<void(HDC, const RECT&)> painter_;
  std::wstring accessible_name_;
  HWND label_ = nullptr;
  HWND description_ = nullptr;
  std::vector<HWND> labelled_;  // the windows this label names
  orvek::base::UniqueGdiObject font_;
  std::wstring font_key_;
  orvek::base::UniqueGdiObject edit_brush_;
};

}  // namespace orvek::skin
