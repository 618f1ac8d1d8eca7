#include "skin/skin_control.h"

#include <gtest/gtest.h>

#include <memory>

#include "skin/skin_resource.h"

namespace orvek::skin {
namespace {

std::wstring AtomProperty(HWND hwnd, const wchar_t* property) {
  const auto atom = static_cast<ATOM>(reinterpret_cast<ULONG_PTR>(::GetPropW(hwnd, property)));
  if (!atom) return L"";
  wchar_t name[256] = {};
  const UINT n = ::GlobalGetAtomNameW(atom, name, 256);
  return std::wstring(name, n);
}

class SkinControls : public ::testing::Test {
 protected:
  void SetUp() override {
    UseSkin(&skin_, 96);
    top_ = ::CreateWindowExW(0, L"STATIC", L"host", WS_POPUP, 0, 0, 300, 200, nullptr, nullptr,
                             nullptr, nullptr);
    ASSERT_NE(top_, nullptr);
    // Hidden windows have no update region; repaint checks need it shown.
    ::ShowWindow(top_, SW_SHOWNOACTIVATE);
    panel_ = std::make_unique<SkinControl>(ControlKind::kPanel, L"pnlHost", top_, RECT{0, 0, 300, 200});
  }
  void TearDown() override {
    controls_.clear();
    panel_.reset();
    ::DestroyWindow(top_);
    UseSkin(nullptr, 96);
  }
  SkinControl& Add(ControlKind kind, const wchar_t* name, RECT r) {
    controls_.push_back(std::make_unique<SkinControl>(kind, name, panel_->Handle(), r));
    return *controls_.back();
  }
  bool NeedsPaint(HWND hwnd) { return ::GetUpdateRect(hwnd, nullptr, FALSE) != FALSE; }

  SkinData skin_ = LoadSkinResource();
  HWND top_ = nullptr;
  std::unique_ptr<SkinControl> panel_;
  std::vector<std::unique_ptr<SkinControl>> controls_;
};

TEST_F(SkinControls, NameAndSkinItemAreReadableAsGlobalAtoms) {
  SkinControl& bar = Add(ControlKind::kTrackBar, L"tbProgress", {0, 0, 100, 19});
  bar.SetSkinItem(L"trackbar");
  EXPECT_EQ(AtomProperty(bar.Handle(), kNameProperty), L"tbProgress");
  EXPECT_EQ(AtomProperty(bar.Handle(), kSkinProperty), L"trackbar");
  bar.SetSkinItem(L"trackbarRed");
  EXPECT_EQ(AtomProperty(bar.Handle(), kSkinProperty), L"trackbarRed");
  bar.SetSkinItem(L"");
  EXPECT_EQ(::GetPropW(bar.Handle(), kSkinProperty), nullptr);
}

TEST_F(SkinControls, TrackBarClampsAndRepaintsOnlyOnChange) {
  SkinControl& bar = Add(ControlKind::kTrackBar, L"bar", {0, 0, 100, 19});
  bar.SetRange(0, 100);
  bar.SetValue(150);
  EXPECT_EQ(bar.Value(), 100);
  bar.SetValue(-3);
  EXPECT_EQ(bar.Value(), 0);
  ::ValidateRect(bar.Handle(), nullptr);
  bar.SetValue(-50);
  EXPECT_FALSE(NeedsPaint(bar.Handle())) << "clamped to the same value: no repaint";
  bar.SetValue(42);
  EXPECT_TRUE(NeedsPaint(bar.Handle()));
}

// A progress label gets the same text and colour for most notices.
TEST_F(SkinControls, LabelRepaintsOnlyWhenItsTextOrColourChanges) {
  SkinControl& label = Add(ControlKind::kLabel, L"label", {0, 0, 80, 20});
  label.SetText(L"42%");
  label.SetTextColor(RGB(0x33, 0x33, 0x33));
  ::ValidateRect(label.Handle(), nullptr);
  label.SetText(L"42%");
  label.SetTextColor(RGB(0x33, 0x33, 0x33));
  label.SetVisible(true);
  EXPECT_FALSE(NeedsPaint(label.Handle()));
  label.SetText(L"43%");
  EXPECT_TRUE(NeedsPaint(label.Handle()));
  EXPECT_EQ(label.Text(), L"43%");
  ::ValidateRect(label.Handle(), nullptr);
  label.SetTextColor(RGB(0xFF, 0x56, 0x56));
  EXPECT_TRUE(NeedsPaint(label.Handle()));
}

TEST_F(SkinControls, SpaceAndEnterActivateCheckBoxesAndButtons) {
  SkinControl& box = Add(ControlKind::kCheckBox, L"chk", {0, 0, 100, 25});
  int clicks = 0;
  box.SetOnClick([&] { ++clicks; });
  ::SendMessageW(box.Handle(), WM_KEYDOWN, VK_SPACE, 0);
  EXPECT_TRUE(box.Checked());
  ::SendMessageW(box.Handle(), WM_KEYDOWN, VK_RETURN, 0);
  EXPECT_FALSE(box.Checked());
  EXPECT_EQ(clicks, 2);
  SkinControl& label = Add(ControlKind::kLabel, L"lbl", {0, 30, 100, 50});
  EXPECT_EQ(::GetWindowLongW(box.Handle(), GWL_STYLE) & WS_TABSTOP, WS_TABSTOP);
  EXPECT_EQ(::GetWindowLongW(label.Handle(), GWL_STYLE) & WS_TABSTOP, 0) << "Tab passes a label by";
  // A label with a click handler is a link: Tab stops there, Space presses it.
  label.SetOnClick([&] { ++clicks; });
  ::SendMessageW(label.Handle(), WM_KEYDOWN, VK_SPACE, 0);
  EXPECT_EQ(clicks, 3);
  EXPECT_EQ(::GetWindowLongW(label.Handle(), GWL_STYLE) & WS_TABSTOP, WS_TABSTOP);
}

TEST_F(SkinControls, MouseClickInsideActivatesOutsideDoesNot) {
  SkinControl& button = Add(ControlKind::kButton, L"btn", {10, 10, 110, 50});
  int clicks = 0;
  button.SetOnClick([&] { ++clicks; });
  ::SendMessageW(button.Handle(), WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(5, 5));
  ::SendMessageW(button.Handle(), WM_LBUTTONUP, 0, MAKELPARAM(5, 5));
  EXPECT_EQ(clicks, 1);
  ::SendMessageW(button.Handle(), WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(5, 5));
  ::SendMessageW(button.Handle(), WM_LBUTTONUP, 0, MAKELPARAM(500, 5));
  EXPECT_EQ(clicks, 1) << "released outside: no click";
}

TEST_F(SkinControls, AlignedChildrenShareTheParentAndHiddenOnesTakeNoSpace) {
  SkinControl& top = Add(ControlKind::kPanel, L"top", {0, 0, 300, 50});
  top.SetAlign(Align::kTop);
  SkinControl& bottom = Add(ControlKind::kPanel, L"bottom", {0, 0, 300, 60});
  bottom.SetAlign(Align::kBottom);
  SkinControl& rest = Add(ControlKind::kPanel, L"rest", {0, 0, 10, 10});
  rest.SetAlign(Align::kClient);
  panel_->Realign();
  EXPECT_EQ(top.Bounds().bottom, 50);
  EXPECT_EQ(bottom.Bounds().top, 140);
  EXPECT_EQ(rest.Bounds().top, 50);
  EXPECT_EQ(rest.Bounds().bottom, 140);
  bottom.SetVisible(false);
  panel_->Realign();
  EXPECT_EQ(rest.Bounds().bottom, 200);
}

TEST_F(SkinControls, EditBoxIsARealReadOnlyEdit) {
  SkinControl& edit = Add(ControlKind::kEdit, L"edt", {0, 0, 200, 19});
  edit.SetText(L"C:\\Program Files\\Orvek");
  EXPECT_EQ(edit.Text(), L"C:\\Program Files\\Orvek");
  const HWND inner = ::GetWindow(edit.Handle(), GW_CHILD);
  ASSERT_NE(inner, nullptr);
  EXPECT_EQ(::GetWindowLongW(inner, GWL_STYLE) & ES_READONLY, ES_READONLY);
}

}  // namespace
}  // namespace orvek::skin
