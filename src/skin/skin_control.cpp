#include "skin/skin_control.h"

#include <windowsx.h>

#include <algorithm>
#include <stdexcept>

#include "base/bound_function.h"
#include "base/unicode.h"
#include "log/failure_boundary.h"
#include "skin/gdi_selection.h"
#include "skin/skin_accessible.h"
#include "skin/skin_paint.h"

namespace orvek::skin {
namespace {

using orvek::base::UniqueGdiObject;
using orvek::base::UniqueMemoryDc;

constexpr const wchar_t* kClassName = L"OrvekSkinControl";

const SkinData* g_skin = nullptr;
int g_dpi = 96;
// The EDIT class's own procedure, behind the one that names the path box to
// readers; every EDIT of the process has the same.
WNDPROC g_edit_procedure = nullptr;

int Scale(int v) { return MulDiv(v, g_dpi, 96); }

void RegisterClassOnce() {
  static bool registered = false;
  if (registered) return;
  WNDCLASSEXW wc{};
  wc.cbSize = sizeof wc;
  wc.style = CS_DBLCLKS;
  wc.lpfnWndProc = ::DefWindowProcW;  // replaced per window once the object is attached
  wc.hInstance = ::GetModuleHandleW(nullptr);
  wc.hCursor = ::LoadCursorW(nullptr, IDC_ARROW);
  wc.lpszClassName = kClassName;
  if (!::RegisterClassExW(&wc)) throw std::runtime_error("cannot register the skin control class");
  registered = true;
}

// Not hidden itself nor inside a hidden panel; the window around it may
// not be shown yet.
bool ShownInItsWindow(HWND hwnd) {
  for (; hwnd && (::GetWindowLongW(hwnd, GWL_STYLE) & WS_CHILD); hwnd = ::GetParent(hwnd)) {
    if (!(::GetWindowLongW(hwnd, GWL_STYLE) & WS_VISIBLE)) return false;
  }
  return true;
}

}  // namespace

void UseSkin(const SkinData* skin, int dpi) {
  g_skin = skin;
  g_dpi = dpi > 0 ? dpi : 96;
}

const SkinData& CurrentSkin() {
  static const SkinData empty;
  return g_skin ? *g_skin : empty;
}

int SkinDpi() { return g_dpi; }

SkinControl::SkinControl(ControlKind kind, std::wstring name, HWND parent, const RECT& bounds)
    : kind_(kind), name_(std::move(name)) {
  RegisterClassOnce();
  DWORD style = WS_CHILD | WS_VISIBLE | WS_CLIPSIBLINGS | WS_CLIPCHILDREN;
  DWORD ex_style = 0;
  // Tab navigation descends into panels and into the edit box's real EDIT.
  if (kind_ == ControlKind::kPanel || kind_ == ControlKind::kEdit) ex_style |= WS_EX_CONTROLPARENT;
  if (Activatable()) style |= WS_TABSTOP;
  hwnd_ = ::CreateWindowExW(ex_style, kClassName, L"", style, bounds.left, bounds.top,
                            bounds.right - bounds.left, bounds.bottom - bounds.top, parent,
                            nullptr, ::GetModuleHandleW(nullptr), nullptr);
  if (!hwnd_) throw std::runtime_error("cannot create control " + base::Utf8FromWide(name_));
  ::SetWindowLongPtrW(hwnd_, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
  base::SetWindowProcedure(hwnd_, &WndProc);
  SetAtomProperty(kNameProperty, name_);
  parent_ = FromHandle(parent);
  if (parent_) parent_->children_.push_back(this);
  if (kind_ == ControlKind::kEdit) {
    const int b = Scale(1);
    edit_ = ::CreateWindowExW(0, L"EDIT", L"",
                              WS_CHILD | WS_VISIBLE | WS_TABSTOP | ES_READONLY | ES_AUTOHSCROLL,
                              b + Scale(3), b + 1, bounds.right - bounds.left - 2 * b - Scale(4),
                              bounds.bottom - bounds.top - 2 * b - 1, hwnd_, nullptr,
                              ::GetModuleHandleW(nullptr), nullptr);
    if (!edit_) throw std::runtime_error("cannot create the edit box of " + base::Utf8FromWide(name_));
    const WNDPROC edit_procedure = base::SetWindowProcedure(edit_, &EditProc);
    if (!g_edit_procedure) g_edit_procedure = edit_procedure;
  }
}

SkinControl::~SkinControl() {
  if (parent_) {
    auto& siblings = parent_->children_;
    siblings.erase(std::remove(siblings.begin(), siblings.end(), this), siblings.end());
  }
  for (SkinControl* child : children_) child->parent_ = nullptr;
  if (hwnd_) {
    ::SetWindowLongPtrW(hwnd_, GWLP_USERDATA, 0);
    RemoveAtomProperty(kNameProperty);
    RemoveAtomProperty(kSkinProperty);
    ::DestroyWindow(hwnd_);
  }
}

SkinControl* SkinControl::FromHandle(HWND hwnd) {
  if (!hwnd) return nullptr;
  wchar_t cls[32] = {};
  ::GetClassNameW(hwnd, cls, 32);
  if (std::wstring_view(cls) != kClassName) return nullptr;
  return reinterpret_cast<SkinControl*>(::GetWindowLongPtrW(hwnd, GWLP_USERDATA));
}

void SkinControl::SetAtomProperty(const wchar_t* property, const std::wstring& value) {
  RemoveAtomProperty(property);
  if (value.empty()) return;
  const ATOM atom = ::GlobalAddAtomW(value.c_str());
  if (atom) ::SetPropW(hwnd_, property, reinterpret_cast<HANDLE>(static_cast<ULONG_PTR>(atom)));
}

void SkinControl::RemoveAtomProperty(const wchar_t* property) {
  const auto atom = static_cast<ATOM>(reinterpret_cast<ULONG_PTR>(::RemovePropW(hwnd_, property)));
  if (atom) ::GlobalDeleteAtom(atom);
}

void SkinControl::SetSkinItem(std::wstring item) {
  skin_item_ = std::move(item);
  if (hwnd_) SetAtomProperty(kSkinProperty, skin_item_);
  font_key_.clear();
}

void SkinControl::SetArea(std::wstring area) {
  area_ = std::move(area);
  font_key_.clear();
}

void SkinControl::SetFont(std::wstring face, int pixel_height, bool bold) {
  font_face_ = std::move(face);
  font_height_ = pixel_height;
  font_bold_ = bold;
  font_key_.clear();
  if (edit_) {
    ::SendMessageW(edit_, WM_SETFONT, reinterpret_cast<WPARAM>(Font(Look())), TRUE);
  }
  Repaint();
}

void SkinControl::SetTextColor(Colour colour) {
  if (has_text_colour_ && text_colour_ == colour) return;
  has_text_colour_ = true;
  text_colour_ = colour;
  Repaint();
}

Colour SkinControl::TextColor() const { return has_text_colour_ ? text_colour_ : Look().text; }

void SkinControl::Repaint() {
  if (!hwnd_) return;
  ::InvalidateRect(hwnd_, nullptr, FALSE);
  if (edit_) ::InvalidateRect(edit_, nullptr, TRUE);
}

void SkinControl::SetText(const std::wstring& text) {
  if (edit_) {
    ::SetWindowTextW(edit_, text.c_str());
    return;
  }
  // A progress display sets the same text for most notices; repainting it
  // each time cost more than the rest of the notice.
  if (text == text_) return;
  text_ = text;
  // The caption is also the window text, so other programs can read it.
  if (hwnd_) ::SetWindowTextW(hwnd_, text.c_str());
  Repaint();
  NotifyChange(EVENT_OBJECT_NAMECHANGE);
}

std::wstring SkinControl::Text() const {
  if (!edit_) return text_;
  std::wstring text(static_cast<size_t>(::GetWindowTextLengthW(edit_)) + 1, L'\0');
  text.resize(static_cast<size_t>(::GetWindowTextW(edit_, text.data(), static_cast<int>(text.size()))));
  return text;
}

void SkinControl::SetChecked(bool checked) {
  if (checked_ == checked) return;
  checked_ = checked;
  Repaint();
  NotifyChange(EVENT_OBJECT_STATECHANGE);
}

void SkinControl::SetEnabled(bool enabled) {
  const bool was = Enabled();
  ::EnableWindow(hwnd_, enabled);
  Repaint();
  if (was != enabled) NotifyChange(EVENT_OBJECT_STATECHANGE);
}

bool SkinControl::Enabled() const { return ::IsWindowEnabled(hwnd_) != FALSE; }

void SkinControl::SetVisible(bool visible) {
  if (Visible() == visible) return;
  ::ShowWindow(hwnd_, visible ? SW_SHOWNA : SW_HIDE);
}

bool SkinControl::Visible() const {
  return (::GetWindowLongW(hwnd_, GWL_STYLE) & WS_VISIBLE) != 0;
}

void SkinControl::SetRange(int min, int max) {
  min_ = min;
  max_ = std::max(min, max);
  SetValue(value_);
}

void SkinControl::SetValue(int value) {
  value = std::clamp(value, min_, max_);
  if (value == value_) return;
  value_ = value;
  Repaint();
  NotifyChange(EVENT_OBJECT_VALUECHANGE);
}

void SkinControl::SetBounds(const RECT& b) {
  ::SetWindowPos(hwnd_, nullptr, b.left, b.top, b.right - b.left, b.bottom - b.top,
                 SWP_NOZORDER | SWP_NOACTIVATE);
}

RECT SkinControl::Bounds() const {
  RECT r{};
  ::GetWindowRect(hwnd_, &r);
  ::MapWindowPoints(nullptr, ::GetParent(hwnd_), reinterpret_cast<POINT*>(&r), 2);
  return r;
}

int SkinControl::Height() const {
  const RECT r = Bounds();
  return r.bottom - r.top;
}

void SkinControl::BringToFront() {
  ::SetWindowPos(hwnd_, HWND_TOP, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
  ::RedrawWindow(hwnd_, nullptr, nullptr, RDW_INVALIDATE | RDW_ALLCHILDREN);
}

void SkinControl::ShowAsPage() {
  if (parent_) {
    for (SkinControl* sibling : parent_->children_) {
      if (sibling != this) sibling->SetVisible(false);
    }
  }
  SetVisible(true);
  BringToFront();
  if (::GetForegroundWindow() == ::GetAncestor(hwnd_, GA_ROOT)) FocusPage();
}

void SkinControl::FocusPage() {
  const bool to_default = default_control_ && default_control_->Visible() && default_control_->Enabled();
  ::SetFocus(to_default ? default_control_->hwnd_ : hwnd_);
}

void SkinControl::SetTabStop(bool tab_stop) {
  const LONG style = ::GetWindowLongW(hwnd_, GWL_STYLE);
  ::SetWindowLongW(hwnd_, GWL_STYLE, tab_stop ? style | WS_TABSTOP : style & ~WS_TABSTOP);
}

void SkinControl::PlaceAfter(const SkinControl& previous) {
  ::SetWindowPos(hwnd_, previous.hwnd_, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
}

void SkinControl::SetOnClick(std::function<void()> on_click) {
  on_click_ = std::move(on_click);
  if (kind_ == ControlKind::kLabel) SetTabStop(IsLink());
}

void SkinControl::SetAccessibleLabel(SkinControl& label) {
  label_ = label.hwnd_;
  // An edit box's name belongs to the real EDIT inside, which has the focus.
  label.labelled_.push_back(edit_ ? edit_ : hwnd_);
}

std::wstring SkinControl::AccessibleName() const {
  if (!accessible_name_.empty()) return accessible_name_;
  if (const SkinControl* label = FromHandle(label_)) return label->Text();
  if (kind_ == ControlKind::kButton || kind_ == ControlKind::kCheckBox || kind_ == ControlKind::kLabel) return text_;
  return std::wstring();
}

std::wstring SkinControl::AccessibleDescription() const {
  const SkinControl* label = FromHandle(description_);
  return label ? label->Text() : std::wstring();
}

void SkinControl::NotifyChange(DWORD event) const {
  if (!hwnd_) return;
  ::NotifyWinEvent(event, hwnd_, OBJID_CLIENT, CHILDID_SELF);
  if (event != EVENT_OBJECT_NAMECHANGE) return;
  for (const HWND named : labelled_) {
    if (::IsWindow(named)) ::NotifyWinEvent(event, named, OBJID_CLIENT, CHILDID_SELF);
  }
}

void SkinControl::Realign() {
  RECT free{};
  ::GetClientRect(hwnd_, &free);
  for (SkinControl* child : children_) {
    if (child->align_ == Align::kNone || !child->Visible()) continue;
    const int h = child->Height();
    switch (child->align_) {
      case Align::kTop:
        child->SetBounds({free.left, free.top, free.right, free.top + h});
        free.top += h;
        break;
      case Align::kBottom:
        child->SetBounds({free.left, free.bottom - h, free.right, free.bottom});
        free.bottom -= h;
        break;
      default:
        break;
    }
  }
  for (SkinControl* child : children_) {
    if (child->align_ == Align::kClient) child->SetBounds(free);
  }
}

SkinItem SkinControl::Look() const {
  return CurrentSkin().Resolve(base::Utf8FromWide(skin_item_), base::Utf8FromWide(area_));
}

bool SkinControl::IsOpaque() const {
  return kind_ == ControlKind::kPanel || kind_ == ControlKind::kEdit;
}

bool SkinControl::Activatable() const {
  return kind_ == ControlKind::kButton || kind_ == ControlKind::kCheckBox || IsLink();
}

void SkinControl::Activate() {
  // A message sent straight to the control gets no further than a key or a
  // click would.
  if (!Enabled() || !ShownInItsWindow(hwnd_)) return;
  if (kind_ == ControlKind::kCheckBox) SetChecked(!checked_);
  // The handler may destroy the window that holds this control; copy it first.
  auto handler = on_click_;
  if (handler) orvek::log::RunGuarded(L"click handler error", handler);
}

HFONT SkinControl::Font(const SkinItem& item) {
  const std::wstring face = font_face_.empty() ? item.font : font_face_;
  const int height = font_height_ > 0 ? font_height_ : Scale(item.font_size);
  const bool bold = font_face_.empty() ? item.bold : font_bold_;
  const std::wstring key = face + L"/" + std::to_wstring(height) + (bold ? L"b" : L"");
  if (font_ && key == font_key_) return static_cast<HFONT>(font_.get());
  font_.reset(::CreateFontW(-height, 0, 0, 0, bold ? FW_BOLD : FW_NORMAL, FALSE, FALSE, FALSE,
                            DEFAULT_CHARSET, OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS,
                            CLEARTYPE_QUALITY, DEFAULT_PITCH | FF_DONTCARE, face.c_str()));
  font_key_ = key;
  return static_cast<HFONT>(font_.get());
}

LRESULT CALLBACK SkinControl::WndProc(HWND hwnd, UINT msg, WPARAM wparam, LPARAM lparam) {
  SkinControl* self = reinterpret_cast<SkinControl*>(::GetWindowLongPtrW(hwnd, GWLP_USERDATA));
  if (!self) return ::DefWindowProcW(hwnd, msg, wparam, lparam);
  if (msg == WM_NCDESTROY) {
    ::SetWindowLongPtrW(hwnd, GWLP_USERDATA, 0);
    self->RemoveAtomProperty(kNameProperty);
    self->RemoveAtomProperty(kSkinProperty);
    self->hwnd_ = nullptr;
    self->edit_ = nullptr;
    return ::DefWindowProcW(hwnd, msg, wparam, lparam);
  }
  LRESULT result = 0;
  if (!orvek::log::RunGuarded(L"control message error", [&] { result = self->HandleMessage(msg, wparam, lparam); })) {
    result = 0;
  }
  return result;
}

// The real EDIT of an edit box has the focus, so it is what a reader names:
// it takes the edit box's name and leaves the rest to the system.
LRESULT CALLBACK SkinControl::EditProc(HWND hwnd, UINT msg, WPARAM wparam, LPARAM lparam) {
  if (msg == WM_GETOBJECT) {
    if (const LRESULT answer = AnswerGetObject(hwnd, wparam, lparam, AccessiblePart::kEditBox)) return answer;
  }
  return ::CallWindowProcW(g_edit_procedure, hwnd, msg, wparam, lparam);
}

LRESULT SkinControl::HandleMessage(UINT msg, WPARAM wparam, LPARAM lparam) {
  switch (msg) {
    case WM_ERASEBKGND:
      return 1;
    case WM_PAINT:
      OnPaint();
      return 0;
    case WM_SIZE:
      Realign();
      if (edit_) {
        const int b = Scale(1);
        ::MoveWindow(edit_, b + Scale(3), b + 1, LOWORD(lparam) - 2 * b - Scale(4),
                     HIWORD(lparam) - 2 * b - 1, TRUE);
      }
      Repaint();
      return 0;
    case WM_NCHITTEST:
      if (hit_transparent_) return HTTRANSPARENT;
      break;
    case WM_SETCURSOR:
      if (hand_cursor_) {
        ::SetCursor(::LoadCursorW(nullptr, IDC_HAND));
        return TRUE;
      }
      break;
    case WM_CTLCOLORSTATIC:
    case WM_CTLCOLOREDIT: {
      const SkinItem item = Look();
      const HDC dc = reinterpret_cast<HDC>(wparam);
      ::SetTextColor(dc, has_text_colour_ ? text_colour_ : item.text);
      ::SetBkColor(dc, item.color);
      edit_brush_.reset(::CreateSolidBrush(item.color));
      return reinterpret_cast<LRESULT>(edit_brush_.get());
    }
    case WM_MOUSEMOVE:
      if (Activatable() && !hover_) {
        hover_ = true;
        TRACKMOUSEEVENT tme{sizeof tme, TME_LEAVE, hwnd_, 0};
        ::TrackMouseEvent(&tme);
        Repaint();
      }
      return 0;
    case WM_MOUSELEAVE:
      hover_ = false;
      Repaint();
      return 0;
    case WM_LBUTTONDOWN:
    case WM_LBUTTONDBLCLK:
      // A link leaves the focus where it was, as before it was a tab stop.
      if (Activatable() && !IsLink()) ::SetFocus(hwnd_);
      pressed_ = true;
      ::SetCapture(hwnd_);
      Repaint();
      return 0;
    case WM_LBUTTONUP: {
      if (!pressed_) return 0;
      pressed_ = false;
      ::ReleaseCapture();
      Repaint();
      RECT r{};
      ::GetClientRect(hwnd_, &r);
      const POINT pt{GET_X_LPARAM(lparam), GET_Y_LPARAM(lparam)};
      if (::PtInRect(&r, pt)) Activate();
      return 0;
    }
    case WM_CAPTURECHANGED:
      pressed_ = false;
      return 0;
    case WM_GETDLGCODE:
      if (!Activatable()) break;
      // Enter activates the focused control instead of a default button.
      if (lparam && reinterpret_cast<const MSG*>(lparam)->message == WM_KEYDOWN &&
          reinterpret_cast<const MSG*>(lparam)->wParam == VK_RETURN) {
        return DLGC_WANTMESSAGE;
      }
      return DLGC_BUTTON | DLGC_WANTCHARS;
    case WM_KEYDOWN:
      if (Activatable() && (wparam == VK_SPACE || wparam == VK_RETURN)) {
        Activate();
        return 0;
      }
      break;
    case WM_SETFOCUS:
    case WM_KILLFOCUS:
      Repaint();
      return 0;
    case WM_GETOBJECT:
      if (const LRESULT answer = AnswerGetObject(hwnd_, wparam, lparam, AccessiblePart::kControl)) return answer;
      break;
    case kDoDefaultActionMessage:
      Activate();
      return 0;
    default:
      break;
  }
  return ::DefWindowProcW(hwnd_, msg, wparam, lparam);
}

void SkinControl::OnPaint() {
  PAINTSTRUCT ps;
  const HDC target = ::BeginPaint(hwnd_, &ps);
  RECT r{};
  ::GetClientRect(hwnd_, &r);
  if (r.right > 0 && r.bottom > 0) {
    UniqueMemoryDc dc(::CreateCompatibleDC(target));
    UniqueGdiObject bitmap(::CreateCompatibleBitmap(target, r.right, r.bottom));
    {
      Selected sel(dc.get(), bitmap.get());
      const SkinItem item = Look();
      PaintBackground(dc.get(), r);
      PaintContent(dc.get(), r, item);
      ::BitBlt(target, 0, 0, r.right, r.bottom, dc.get(), 0, 0, SRCCOPY);
    }
  }
  ::EndPaint(hwnd_, &ps);
}

// Transparent controls show their parent's face: the parent draws its own
// background into this control's buffer, shifted to where the control sits.
void SkinControl::PaintBackground(HDC dc, const RECT& r) {
  if (IsOpaque() || !parent_) {
    PaintOwnBackground(dc, r, Look());
    return;
  }
  RECT in_parent = r;
  ::MapWindowPoints(hwnd_, parent_->hwnd_, reinterpret_cast<POINT*>(&in_parent), 2);
  RECT parent_client{};
  ::GetClientRect(parent_->hwnd_, &parent_client);
  POINT old{};
  ::SetViewportOrgEx(dc, -in_parent.left, -in_parent.top, &old);
  parent_->PaintBackground(dc, parent_client);
  ::SetViewportOrgEx(dc, old.x, old.y, nullptr);
}

void SkinControl::PaintOwnBackground(HDC dc, const RECT& r, const SkinItem& item) {
  if (!IsOpaque()) {
    UniqueGdiObject brush(::CreateSolidBrush(item.color));
    ::FillRect(dc, &r, static_cast<HBRUSH>(brush.get()));
    return;
  }
  FillGradient(dc, r, item.color, item.color2);
  const int width = frame_ || kind_ == ControlKind::kEdit ? std::max(1, Scale(item.border_width))
                                                          : Scale(item.border_width);
  if (width > 0 && (frame_ || kind_ == ControlKind::kEdit)) {
    UniqueGdiObject brush(::CreateSolidBrush(item.border));
    for (int i = 0; i < width; ++i) {
      const RECT edge{r.left + i, r.top + i, r.right - i, r.bottom - i};
      ::FrameRect(dc, &edge, static_cast<HBRUSH>(brush.get()));
    }
  }
}

void SkinControl::PaintContent(HDC dc, const RECT& r, const SkinItem& item) {
  switch (kind_) {
    case ControlKind::kButton:
      PaintButton(dc, r, item);
      break;
    case ControlKind::kCheckBox:
      PaintCheckBox(dc, r, item);
      break;
    case ControlKind::kTrackBar:
      PaintTrackBar(dc, r, item);
      break;
    case ControlKind::kLabel: {
      const UINT format = (word_wrap_ ? DT_WORDBREAK : DT_SINGLELINE) |
                          (text_align_ == TextAlign::kCenter  ? DT_CENTER
                           : text_align_ == TextAlign::kRight ? DT_RIGHT
                                                              : DT_LEFT);
      PaintText(dc, r, item, has_text_colour_ ? text_colour_ : item.text, format);
      if (IsLink() && ::GetFocus() == hwnd_) PaintTextFocus(dc, r, item, format);
      break;
    }
    case ControlKind::kImage:
    case ControlKind::kPanel:
      if (painter_) painter_(dc, r);
      break;
    case ControlKind::kEdit:
      break;
  }
}

void SkinControl::PaintButton(HDC dc, const RECT& r, const SkinItem& item) {
  const bool enabled = Enabled();
  const Colour face = !enabled ? item.disabled : pressed_ ? item.pressed : hover_ ? item.hover : item.color;
  if (!item.flat || pressed_ || hover_) {
    FillRounded(dc, r, Scale(item.radius), face, item.border, Scale(item.border_width));
  }
  const Colour text = !enabled ? item.disabled_text : has_text_colour_ ? text_colour_ : item.text;
  RECT text_rect = r;
  if (!item.glyph.empty() && !text_.empty()) {
    // Caption and glyph side by side, centred together.
    SIZE extent{};
    Selected sel(dc, Font(item));
    ::GetTextExtentPoint32W(dc, text_.c_str(), static_cast<int>(text_.size()), &extent);
    const int glyph_w = Scale(12);
    const int left = (r.right - r.left - extent.cx - glyph_w) / 2;
    text_rect.left = left;
    text_rect.right = left + extent.cx;
    const RECT glyph_rect{text_rect.right, r.top, text_rect.right + glyph_w, r.bottom};
    DrawGlyph(dc, glyph_rect, item.glyph, text, SkinDpi());
  } else if (!item.glyph.empty()) {
    DrawGlyph(dc, r, item.glyph, text, SkinDpi());
  }
  if (!text_.empty()) PaintText(dc, text_rect, item, text, DT_SINGLELINE | DT_CENTER | DT_VCENTER);
  if (::GetFocus() == hwnd_) {
    RECT focus = r;
    ::InflateRect(&focus, -Scale(3), -Scale(3));
    ::DrawFocusRect(dc, &focus);
  }
}

void SkinControl::PaintCheckBox(HDC dc, const RECT& r, const SkinItem& item) {
  const int box = Scale(14);
  const int top = (r.bottom - r.top - box) / 2;
  const RECT box_rect{r.left + Scale(1), top, r.left + Scale(1) + box, top + box};
  const bool enabled = Enabled();
  if (checked_) {
    FillRounded(dc, box_rect, Scale(item.radius), enabled ? item.accent : item.disabled_text,
                enabled ? item.accent : item.disabled_text, 0);
    DrawGlyph(dc, box_rect, L"check", RGB(0xFF, 0xFF, 0xFF), SkinDpi());
  } else {
    FillRounded(dc, box_rect, Scale(item.radius), enabled ? item.color : item.disabled,
                hover_ ? item.accent : item.border, std::max(1, Scale(item.border_width)));
  }
  RECT text_rect = r;
  text_rect.left = box_rect.right + Scale(6);
  const Colour text = !enabled ? item.disabled_text : has_text_colour_ ? text_colour_ : item.text;
  PaintText(dc, text_rect, item, text, DT_SINGLELINE | DT_VCENTER | DT_LEFT);
  if (::GetFocus() == hwnd_) {
    RECT focus = text_rect;
    focus.left -= Scale(2);
    ::DrawFocusRect(dc, &focus);
  }
}

void SkinControl::PaintTrackBar(HDC dc, const RECT& r, const SkinItem& item) {
  const int h = Scale(6);
  const int top = (r.bottom - r.top - h) / 2;
  const RECT groove{r.left, top, r.right, top + h};
  FillRounded(dc, groove, Scale(item.radius), item.track, item.track, 0);
  const int span = max_ - min_;
  if (span <= 0 || value_ <= min_) return;
  const int filled = static_cast<int>(static_cast<long long>(r.right - r.left) * (value_ - min_) / span);
  const RECT fill{r.left, top, r.left + std::max(filled, h), top + h};
  FillRounded(dc, fill, Scale(item.radius), item.accent, item.accent, 0);
}

// A frame around the text itself, which is smaller than the label's box.
void SkinControl::PaintTextFocus(HDC dc, const RECT& r, const SkinItem& item, UINT format) {
  RECT text = r;
  {
    Selected sel(dc, Font(item));
    ::DrawTextW(dc, text_.c_str(), static_cast<int>(text_.size()), &text, format | DT_NOPREFIX | DT_CALCRECT);
  }
  const int width = std::min(text.right - text.left, r.right - r.left);
  const int left = format & DT_CENTER  ? r.left + (r.right - r.left - width) / 2
                   : format & DT_RIGHT ? r.right - width
                                       : r.left;
  RECT focus{left, text.top, left + width, std::min(text.bottom, r.bottom)};
  ::DrawFocusRect(dc, &focus);
}

void SkinControl::PaintText(HDC dc, RECT r, const SkinItem& item, Colour colour, UINT format) {
  if (text_.empty()) return;
  Selected sel(dc, Font(item));
  ::SetBkMode(dc, TRANSPARENT);
  ::SetTextColor(dc, colour);
  ::DrawTextW(dc, text_.c_str(), static_cast<int>(text_.size()), &r, format | DT_NOPREFIX);
}

}  // namespace orvek::skin
