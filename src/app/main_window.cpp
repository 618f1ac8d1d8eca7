#include "app/main_window.h"

#include <commctrl.h>
#include <shellapi.h>
#include <shlobj.h>

#include <cstdio>
#include <stdexcept>
#include <thread>

#include "app/dpi_awareness.h"
#include "app/install_rules.h"
#include "app/skin_strings.h"
#include "base/bound_function.h"
#include "base/com_apartment.h"
#include "base/system_library.h"
#include "base/unicode.h"
#include "base/unique_handle.h"
#include "log/failure_boundary.h"
#include "log/logs.h"
#include "net/service_config.h"
#include "system/files/directories.h"
#include "system/files/disk_space.h"

namespace orvek::app {
namespace {

using orvek::skin::Align;
using orvek::skin::ControlKind;
using orvek::skin::MakeColour;
using orvek::skin::SkinControl;
using orvek::skin::TextAlign;

constexpr const wchar_t* kLabelFont = L"Microsoft YaHei UI";
const auto kTextGrey = MakeColour(0x33, 0x33, 0x33);
const auto kErrorRed = MakeColour(0xFF, 0x56, 0x56);
const auto kLinkBlue = MakeColour(0x69, 0x94, 0xFF);
const auto kWhite = MakeColour(0xFF, 0xFF, 0xFF);

int S(int design) { return ScaleForDpi(design); }

RECT Box(int x, int y, int w, int h) { return RECT{S(x), S(y), S(x) + S(w), S(y) + S(h)}; }

std::unique_ptr<SkinControl> Make(ControlKind kind, const wchar_t* name, const TfrmTeacherMain::Control& parent,
                                  const RECT& bounds, const wchar_t* skin_item = L"") {
  auto control = std::make_unique<SkinControl>(kind, name, parent->Handle(), bounds);
  control->SetSkinItem(skin_item);
  return control;
}

std::unique_ptr<SkinControl> MakeLabel(const wchar_t* name, const TfrmTeacherMain::Control& parent,
                                       const RECT& bounds, const std::wstring& text, int px,
                                       orvek::skin::Colour colour, bool bold = false) {
  auto label = Make(ControlKind::kLabel, name, parent, bounds);
  label->SetFont(kLabelFont, S(px), bold);
  label->SetTextColor(colour);
  label->SetText(text);
  // Labels overlap their neighbours in the design (text boxes are taller
  // than the text); above them, their transparent backgrounds hide nothing.
  label->BringToFront();
  return label;
}

std::unique_ptr<SkinControl> MakeCheckBox(const wchar_t* name, const TfrmTeacherMain::Control& parent,
                                          const RECT& bounds, const wchar_t* text, bool checked) {
  auto box = Make(ControlKind::kCheckBox, name, parent, bounds, L"checkbox");
  box->SetText(text);
  box->SetChecked(checked);
  return box;
}

// A panel that fills its parent (pages, pnlBottom).
std::unique_ptr<SkinControl> MakeFillPanel(const wchar_t* name, const TfrmTeacherMain::Control& parent,
                                           const wchar_t* skin_item) {
  RECT r{};
  ::GetClientRect(parent->Handle(), &r);
  auto panel = Make(ControlKind::kPanel, name, parent, r, skin_item);
  panel->SetAlign(Align::kClient);
  return panel;
}

// The product logo, drawn rather than stored: an open book on a white disc.
void DrawLogo(HDC dc, const RECT& r) {
  using orvek::base::UniqueGdiObject;
  const int w = r.right - r.left, h = r.bottom - r.top;
  const auto at = [&](int x, int y) { return POINT{r.left + x * w / 80, r.top + y * h / 80}; };
  UniqueGdiObject white(::CreateSolidBrush(kWhite));
  UniqueGdiObject ring(::CreatePen(PS_SOLID, std::max(1, w / 40), MakeColour(0xBF, 0xD7, 0xFF)));
  HGDIOBJ old_brush = ::SelectObject(dc, white.get());
  HGDIOBJ old_pen = ::SelectObject(dc, ring.get());
  const POINT a = at(2, 2), b = at(78, 78);
  ::Ellipse(dc, a.x, a.y, b.x, b.y);
  UniqueGdiObject blue(::CreateSolidBrush(MakeColour(0x2B, 0x6F, 0xF0)));
  UniqueGdiObject light(::CreateSolidBrush(MakeColour(0x5C, 0x9D, 0xFF)));
  UniqueGdiObject no_pen(::CreatePen(PS_NULL, 0, 0));
  ::SelectObject(dc, no_pen.get());
  const POINT left_page[] = {at(18, 28), at(38, 32), at(38, 60), at(18, 55)};
  const POINT right_page[] = {at(42, 32), at(62, 28), at(62, 55), at(42, 60)};
  ::SelectObject(dc, blue.get());
  ::Polygon(dc, left_page, 4);
  ::SelectObject(dc, light.get());
  ::Polygon(dc, right_page, 4);
  const POINT spark_a = at(36, 14), spark_b = at(44, 22);
  ::SelectObject(dc, blue.get());
  ::Ellipse(dc, spark_a.x, spark_a.y, spark_b.x, spark_b.y);
  ::SelectObject(dc, old_brush);
  ::SelectObject(dc, old_pen);
}

void RegisterWindowClass(HINSTANCE instance) {
  static bool registered = false;
  if (registered) return;
  WNDCLASSEXW wc{};
  wc.cbSize = sizeof wc;
  wc.lpfnWndProc = ::DefWindowProcW;
  wc.hInstance = instance;
  wc.hCursor = ::LoadCursorW(nullptr, IDC_ARROW);
  wc.lpszClassName = TfrmTeacherMain::kClassName;
  if (!::RegisterClassExW(&wc)) throw std::runtime_error("cannot register the main window class");
  registered = true;
}

}  // namespace

TfrmTeacherMain::TfrmTeacherMain() {
  const HINSTANCE instance = ::GetModuleHandleW(nullptr);
  RegisterWindowClass(instance);
  // Frameless: the skin draws everything. WS_SYSMENU and WS_MINIMIZEBOX give
  // the task-bar button its minimise and close commands.
  hwnd_ = ::CreateWindowExW(WS_EX_APPWINDOW | WS_EX_CONTROLPARENT, kClassName, kCaption,
                            WS_POPUP | WS_SYSMENU | WS_MINIMIZEBOX | WS_CLIPCHILDREN,
                            CW_USEDEFAULT, CW_USEDEFAULT, S(kDesignWidth), S(kDesignHeight),
                            nullptr, nullptr, instance, nullptr);
  if (!hwnd_) throw std::runtime_error("cannot create the main window");
  ::SetWindowLongPtrW(hwnd_, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
  orvek::base::SetWindowProcedure(hwnd_, &WndProc);
  handoff_ = std::make_shared<UiHandoff>(hwnd_);
  CreateControls();
  FormCreate();
}

TfrmTeacherMain::~TfrmTeacherMain() {
  if (hwnd_) ::DestroyWindow(hwnd_);
}

void TfrmTeacherMain::CreateControls() {
  RECT client{};
  ::GetClientRect(hwnd_, &client);
  pnlClient = std::make_unique<SkinControl>(ControlKind::kPanel, L"pnlClient", hwnd_, client);
  pnlClient->SetSkinItem(L"pnlClient");
  pnlClient->SetArea(L"client");
  pnlClient->SetHitTransparent(true);
  CreateTop();
  pnlBottom = Make(ControlKind::kPanel, L"pnlBottom", pnlClient,
                   RECT{0, S(kTopHeight), client.right, client.bottom}, L"pnlWhite");
  pnlBottom->SetAlign(Align::kClient);
  pnlBottom->SetFrame(true);
  pnlClient->Realign();
  // Created back to front: the last one made is in front.
  pnlInstallError = MakeFillPanel(L"pnlInstallError", pnlBottom, L"pnlWhite");
  pnlInstalling = MakeFillPanel(L"pnlInstalling", pnlBottom, L"pnlWhite");
  pnlFinished = MakeFillPanel(L"pnlFinished", pnlBottom, L"pnlWhite");
  pnlPreInstall = MakeFillPanel(L"pnlPreInstall", pnlBottom, L"pnlWhite");
  CreateInstallingPage();
  CreateFinishedPage();
  CreatePreInstallPage();
  // The one button of an error page and the finish button take the focus
  // when their page comes to the front, so that a screen reader names them;
  // the installing page has none, so no key starts anything while it is in
  // front, and its progress text names it for the reader instead.
  pnlInstalling->SetDefaultControl(btnRetry.get());
  pnlFinished->SetDefaultControl(btnFinished.get());
  pnlPreInstall->ShowAsPage();
}

void TfrmTeacherMain::CreateTop() {
  pnlTop = Make(ControlKind::kPanel, L"pnlTop", pnlClient, RECT{0, 0, S(kDesignWidth), S(kTopHeight)},
                L"pnlClient");
  pnlTop->SetArea(L"client");
  pnlTop->SetAlign(Align::kTop);
  pnlTop->SetHitTransparent(true);
  img1 = Make(ControlKind::kImage, L"img1", pnlTop, Box(220, 27, 80, 80));
  img1->SetPainter(&DrawLogo);
  img1->SetAccessibleName(L"Orvek标志");
  img1->SetHitTransparent(true);
  lblProduct = MakeLabel(L"lblProduct", pnlTop, Box(3, 110, 514, 41), kCaption, 19, kWhite, true);
  lblProduct->SetTextAlign(TextAlign::kCenter);
  lblProduct->SetHitTransparent(true);
  lblVersion = MakeLabel(L"lblVersion", pnlTop, Box(3, 136, 514, 35), L"版本：" + FVersion, 16, kWhite);
  lblVersion->SetTextAlign(TextAlign::kCenter);
  lblVersion->SetHitTransparent(true);
  // The caption buttons of the skinned frame: roll-up and minimise. They
  // come first on Tab, as they come first in reading order.
  btnRollUp = Make(ControlKind::kButton, L"btnRollUp", pnlTop, Box(kDesignWidth - 62, 4, 28, 24),
                   L"captionRollUp");
  btnRollUp->SetOnClick([this] { ToggleRollUp(); });
  btnMinimize = Make(ControlKind::kButton, L"btnMinimize", pnlTop, Box(kDesignWidth - 32, 4, 28, 24),
                     L"captionMinimize");
  btnMinimize->SetOnClick([this] { ::ShowWindow(hwnd_, SW_MINIMIZE); });
  AddHint(*btnRollUp, SkinString("SP_ROLLUPBUTTON_HINT"));
  AddHint(*btnMinimize, SkinString("SP_MINBUTTON_HINT"));
}

// A tooltip over `control`, which is also its name for a screen reader;
// without one the glyph-only caption buttons would not say what they do.
// A missing tooltip is only cosmetic.
void TfrmTeacherMain::AddHint(SkinControl& control, std::wstring_view text) {
  control.SetAccessibleName(std::wstring(text));
  if (!hints_) {
    // Bound at run time from the system folder, with uxtheme.dll (which the
    // common controls load by name) first: as a static import it would be
    // searched for in the program's folder, usually a Downloads folder.
    orvek::base::LoadSystemLibrary(L"uxtheme.dll");
    const HMODULE comctl = orvek::base::LoadSystemLibrary(L"comctl32.dll");
    if (!comctl) return;
    using InitFn = BOOL(WINAPI*)(const INITCOMMONCONTROLSEX*);
    const auto init = orvek::base::BindFunction<InitFn>(comctl, "InitCommonControlsEx");
    INITCOMMONCONTROLSEX icc{sizeof icc, ICC_WIN95_CLASSES};
    if (!init || !init(&icc)) return;
    hints_ = ::CreateWindowExW(WS_EX_TOPMOST, TOOLTIPS_CLASSW, nullptr, WS_POPUP | TTS_ALWAYSTIP,
                               CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, hwnd_,
                               nullptr, ::GetModuleHandleW(nullptr), nullptr);
    if (!hints_) return;
  }
  std::wstring copy(text);
  TTTOOLINFOW tool{};
  tool.cbSize = sizeof tool;
  tool.uFlags = TTF_IDISHWND | TTF_SUBCLASS;
  tool.hwnd = hwnd_;
  tool.uId = reinterpret_cast<UINT_PTR>(control.Handle());
  tool.lpszText = copy.data();
  ::SendMessageW(hints_, TTM_ADDTOOLW, 0, reinterpret_cast<LPARAM>(&tool));
}

void TfrmTeacherMain::CreatePreInstallPage() {
  btnInstall = Make(ControlKind::kButton, L"btnInstall", pnlPreInstall, Box(170, 19, 170, 40), L"button");
  btnInstall->SetArea(L"btnexercise");
  btnInstall->SetText(L"立即安装");
  btnInstall->SetOnClick([this] { btnInstallClick(); });
  chkReadlLicense = MakeCheckBox(L"chkReadlLicense", pnlPreInstall, Box(20, 75, 126, 25), L"已阅读并接受", true);
  chkReadlLicense->SetOnClick([this] { chkReadlLicenseClick(); });
  lbl1 = MakeLabel(L"lbl1", pnlPreInstall, Box(148, 73, 98, 26), L"使用许可协议", 14, kLinkBlue);
  lbl1->SetHandCursor(true);
  lbl1->SetOnClick([this] { pnlLicenseClick(); });
  lbl1->PlaceAfter(*chkReadlLicense);
  btnExpandAndPickup = Make(ControlKind::kButton, L"btnExpandAndPickup", pnlPreInstall, Box(436, 75, 68, 22),
                            L"btnExpand");
  btnExpandAndPickup->SetArea(L"btnexercise");
  btnExpandAndPickup->SetText(L"展开");
  btnExpandAndPickup->SetOnClick([this] { btnExpandAndPickupClick(); });

  RECT page{};
  ::GetClientRect(pnlPreInstall->Handle(), &page);
  pnlPreInfo = Make(ControlKind::kPanel, L"pnlPreInfo", pnlPreInstall,
                    RECT{0, page.bottom - S(kPreInfoHeight), page.right, page.bottom}, L"pnlWhite");
  pnlPreInfo->SetAlign(Align::kBottom);
  pnlPreInfo->SetFrame(true);
  pnlPreInstall->Realign();
  pnlSplite = Make(ControlKind::kPanel, L"pnlSplite", pnlPreInfo, RECT{0, 0, page.right, S(4)}, L"pnlSplite");
  pnlSplite->SetAlign(Align::kTop);
  pnlPreInfo->Realign();
  Label1 = MakeLabel(L"Label1", pnlPreInfo, Box(20, 7, 70, 35), L"安装到：", 14, kTextGrey);
  Label1->SetTextAlign(TextAlign::kCenter);
  edtInstallDir = Make(ControlKind::kEdit, L"edtInstallDir", pnlPreInfo, Box(86, 12, 356, 19), L"edit");
  edtInstallDir->SetFont(L"Tahoma", S(13));
  edtInstallDir->SetTextColor(MakeColour(0, 0, 0));
  edtInstallDir->SetAccessibleLabel(*Label1);
  btnFolder = Make(ControlKind::kButton, L"btnFolder", pnlPreInfo, Box(448, 12, 20, 26), L"btnFolder");
  btnFolder->SetOnClick([this] { btnFolderClick(); });
  btnFolder->SetAccessibleName(L"选择安装路径");
  lblInfo = MakeLabel(L"lblInfo", pnlPreInfo, Box(81, 38, 361, 26), L"", 14, kTextGrey);
  lblErrorInfo = MakeLabel(L"lblErrorInfo", pnlPreInfo, Box(81, 38, 361, 26), L"", 14, kErrorRed);
  lblErrorInfo->SetVisible(false);
  chkAddDesktop = MakeCheckBox(L"chkAddDesktop", pnlPreInfo, Box(81, 67, 173, 25), L"添加到桌面快捷方式", true);
  chkAddStartMenu = MakeCheckBox(L"chkAddStartMenu", pnlPreInfo, Box(81, 93, 130, 25), L"添加到开始菜单", true);
  chkClearData = MakeCheckBox(L"chkClearData", pnlPreInfo, Box(289, 67, 136, 25), L"清除用户数据", false);
  chkClearData->PlaceAfter(*chkAddDesktop);  // row by row: it shares the first one
}

void TfrmTeacherMain::CreateInstallingPage() {
  tbProgress = Make(ControlKind::kTrackBar, L"tbProgress", pnlInstalling, Box(19, 10, 480, 19), L"trackbar");
  tbProgress->SetRange(0, 100);
  lblProgress = MakeLabel(L"lblProgress", pnlInstalling, Box(20, 24, 405, 26), L"正在安装...", 14, kTextGrey);
  lblProgress->SetWordWrap(true);
  lblProgressValue = MakeLabel(L"lblProgressValue", pnlInstalling, Box(423, 24, 77, 20), L"", 14, kTextGrey);
  lblProgressValue->SetTextAlign(TextAlign::kRight);
  lblProgressValue->SetVisible(false);
  lblError = MakeLabel(L"lblError", pnlInstalling, Box(20, 24, 405, 26), L"", 14, kErrorRed);
  lblError->SetWordWrap(true);
  lblError->SetVisible(false);
  btnRetry = Make(ControlKind::kButton, L"btnRetry", pnlInstalling, Box(204, 56, 100, 40), L"button");
  btnRetry->SetText(L"重试");
  btnRetry->SetOnClick([this] { btnRetryClick(); });
  // With the focus on it, a reader says what went wrong, too.
  btnRetry->SetAccessibleDescription(*lblError);
  tbProgress->SetAccessibleLabel(*lblProgress);
  pnlInstalling->SetAccessibleLabel(*lblProgress);
}

void TfrmTeacherMain::CreateFinishedPage() {
  btnFinished = Make(ControlKind::kButton, L"btnFinished", pnlFinished, Box(178, 27, 170, 40), L"button");
  btnFinished->SetArea(L"btnexercise");
  btnFinished->SetText(L"安装完成");
  btnFinished->SetOnClick([this] { btnFinishedClick(); });
  chkRunApp = MakeCheckBox(L"chkRunApp", pnlFinished, Box(20, 77, 157, 25), L"运行Orvek客户端", true);
  lblEnvCheck = MakeLabel(L"lblEnvCheck", pnlFinished, Box(183, 77, 76, 26), L"环境检测", 14, kLinkBlue);
  lblEnvCheck->SetHandCursor(true);
  lblEnvCheck->SetOnClick([this] { lblEnvCheckClick(); });
  lblEnvCheck->PlaceAfter(*chkRunApp);
}

namespace {

TfrmTeacherMain::FolderChooser& FolderChooserForTesting() {
  static TfrmTeacherMain::FolderChooser chooser;
  return chooser;
}

// Preselects the start folder once the browser is up.
int CALLBACK BrowseCallback(HWND browser, UINT msg, LPARAM, LPARAM data) {
  if (msg == BFFM_INITIALIZED && data) ::SendMessageW(browser, BFFM_SETSELECTIONW, TRUE, data);
  return 0;
}

// The shell's folder browser, modal to `owner`: file-system folders only, no
// button for a new folder. nullopt when cancelled or when the choice has no
// file-system path.
std::optional<std::wstring> BrowseForFolder(HWND owner, const std::wstring& start) {
  // The new dialog style hosts OLE controls: the thread must be in an apartment.
  const orvek::base::ScopedCoInitialize com;
  std::wstring preselect = start;
  BROWSEINFOW info{};
  info.hwndOwner = owner;
  info.lpszTitle = L"请选择安装路径";
  info.ulFlags = BIF_RETURNONLYFSDIRS | BIF_NEWDIALOGSTYLE | BIF_NONEWFOLDERBUTTON;
  if (!start.empty() && orvek::system::DirectoryExists(start)) {
    info.lpfn = &BrowseCallback;
    info.lParam = reinterpret_cast<LPARAM>(preselect.c_str());
  }
  std::optional<std::wstring> chosen;
  const orvek::base::UniqueTaskMemory<ITEMIDLIST> item(::SHBrowseForFolderW(&info));
  wchar_t path[MAX_PATH] = {};
  if (item && ::SHGetPathFromIDListW(item.get(), path)) chosen = path;
  return chosen;
}

wchar_t UserDecimalSeparator() {
  wchar_t separator[8] = {};
  return ::GetLocaleInfoW(LOCALE_USER_DEFAULT, LOCALE_SDECIMAL, separator, 8) > 1 ? separator[0] : L'.';
}

}  // namespace

void TfrmTeacherMain::SetFolderChooserForTesting(FolderChooser chooser) {
  FolderChooserForTesting() = std::move(chooser);
}

void TfrmTeacherMain::FormCreate() {
  try {
    SetUpFirstPage(*this, *this);
  } catch (const std::exception& e) {
    // A failed step ends the set-up there; the window still comes up with
    // what the earlier steps set.
    ::MessageBoxW(hwnd_, orvek::base::WideFromUtf8(e.what()).c_str(), kCaption, MB_ICONERROR | MB_OK);
  }
}

std::wstring TfrmTeacherMain::TargetText() const { return edtInstallDir->Text(); }

void TfrmTeacherMain::SetTargetText(const std::wstring& text) { edtInstallDir->SetText(text); }

void TfrmTeacherMain::SetVersionCaption(const std::wstring& version) {
  lblVersion->SetText(L"版本：" + version);
}

bool TfrmTeacherMain::ShowTargetSpace(double gigabytes) {
  if (HasTooLittleSpace(gigabytes)) {
    lblErrorInfo->SetText(L"该磁盘剩余空间不足，请重新选择安装路径！");
    lblErrorInfo->SetVisible(true);
    lblInfo->SetVisible(false);
    btnInstall->SetEnabled(false);
    return false;
  }
  btnInstall->SetEnabled(true);
  lblErrorInfo->SetVisible(false);
  lblInfo->SetVisible(true);
  lblInfo->SetText(FreeSpaceText(gigabytes, UserDecimalSeparator()));
  return true;
}

void TfrmTeacherMain::CloseOptions() {
  // The stored look says "btnExpand" while the panel is open; clear it so
  // that closing really closes.
  btnExpandAndPickup->SetSkinItem(L"");
  SetOptionsExpanded(false);
}

void TfrmTeacherMain::WarnSystemDiskShort() {
  ::MessageBoxW(hwnd_, L"系统磁盘剩余空间不足，请清理磁盘空间！", L"警告", MB_ICONWARNING | MB_OK);
}

void TfrmTeacherMain::ShowWhileRepairing(const std::function<void()>& repair) {
  ShowPage(tpInstalling, L"正在卸载旧版本...", false);
  Show();
  // The repair runs on a thread of its own while this one keeps the window
  // drawn; nothing on the window can start anything meanwhile.
  const orvek::base::UniqueHandle finished(::CreateEventW(nullptr, TRUE, FALSE, nullptr));
  if (!finished) {
    repair();
  } else {
    repairing_ = true;
    std::thread worker([&] {
      orvek::log::RunGuarded(L"repair error", repair);
      ::SetEvent(finished.get());
    });
    bool quit = false;
    HANDLE wait = finished.get();
    // Woken by a message: dispatch it; by the event (or a failed wait): done.
    while (::MsgWaitForMultipleObjects(1, &wait, FALSE, INFINITE, QS_ALLINPUT) == WAIT_OBJECT_0 + 1) {
      MSG msg;
      while (::PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
        if (msg.message == WM_QUIT) {
          quit = true;
          continue;
        }
        ::TranslateMessage(&msg);
        ::DispatchMessageW(&msg);
      }
    }
    worker.join();
    repairing_ = false;
    if (quit) ::PostQuitMessage(0);
    // A close asked for meanwhile is honoured now that nothing is half done.
    if (close_after_repair_) ::PostMessageW(hwnd_, WM_CLOSE, 0, 0);
  }
  pnlPreInstall->ShowAsPage();
}

void TfrmTeacherMain::Show() {
  RECT r{};
  ::GetWindowRect(hwnd_, &r);
  const int w = r.right - r.left, h = r.bottom - r.top;
  const int x = (::GetSystemMetrics(SM_CXSCREEN) - w) / 2;
  const int y = (::GetSystemMetrics(SM_CYSCREEN) - h) / 2;
  ::SetWindowPos(hwnd_, nullptr, x, y, 0, 0, SWP_NOSIZE | SWP_NOZORDER);
  FormShow();
  ::ShowWindow(hwnd_, SW_SHOW);
  ::UpdateWindow(hwnd_);
}

void TfrmTeacherMain::FormShow() {
  orvek::log::LogInfo(L"FormShow" + std::to_wstring(Width()) + L"," + std::to_wstring(WindowHeight()));
}

int TfrmTeacherMain::Width() const {
  RECT r{};
  ::GetWindowRect(hwnd_, &r);
  return r.right - r.left;
}

int TfrmTeacherMain::WindowHeight() const {
  RECT r{};
  ::GetWindowRect(hwnd_, &r);
  return r.bottom - r.top;
}

void TfrmTeacherMain::SetHeight(int height) {
  rolled_up_from_ = 0;
  // The top-left corner stays where it is.
  ::SetWindowPos(hwnd_, nullptr, 0, 0, Width(), height, SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
}

void TfrmTeacherMain::ToggleRollUp() {
  if (rolled_up_from_) {
    const int height = rolled_up_from_;
    SetHeight(height);
    return;
  }
  const int height = WindowHeight();
  ::SetWindowPos(hwnd_, nullptr, 0, 0, Width(), S(32), SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
  rolled_up_from_ = height;
}

void TfrmTeacherMain::ShowPage(TInstallPage page, const std::wstring& msg, bool error) {
  // The page comes to the front once its controls are as they will be, so
  // the focus finds the retry button when there is one.
  if (page == tpInstalling || page == tpInstallFailed) {
    if (error) {
      lblProgress->SetVisible(false);
      lblError->SetVisible(true);
      lblError->SetText(msg);
      btnRetry->SetVisible(lblError->Visible());
      if (tbProgress->SkinItemName() != L"trackbarRed") {
        tbProgress->SetSkinItem(L"trackbarRed");
        tbProgress->Repaint();
        lblProgressValue->SetTextColor(kErrorRed);
      }
      if (page == tpInstallFailed) btnRetry->SetText(L"关闭");
    } else {
      lblError->SetVisible(false);
      lblProgress->SetVisible(true);
      lblProgress->SetText(msg);
      btnRetry->SetVisible(lblError->Visible());
      tbProgress->SetValue(0);
      lblProgressValue->SetText(L"0%");
      lblProgressValue->SetTextColor(kTextGrey);
      if (tbProgress->SkinItemName() != L"trackbar") {
        tbProgress->SetSkinItem(L"trackbar");
        tbProgress->Repaint();
      }
    }
    pnlInstalling->ShowAsPage();
  } else if (page == tpInstallFinished) {
    pnlFinished->ShowAsPage();
  }
}

void TfrmTeacherMain::RestoreFocus() {
  SkinControl* front = pnlPreInstall.get();
  for (const Control* page : {&pnlInstalling, &pnlFinished}) {
    if ((*page)->Visible()) front = page->get();
  }
  const HWND last = focus_on_leave_;
  if (last && ::IsChild(front->Handle(), last) && ::IsWindowVisible(last) && ::IsWindowEnabled(last)) {
    ::SetFocus(last);
  } else {
    front->FocusPage();
  }
}

void TfrmTeacherMain::SetOptionsExpanded(bool expand) {
  orvek::log::LogInfo(L"pnlPreInfo.Height" + std::to_wstring(pnlPreInfo->Height()));
  if (expand) {
    if (btnExpandAndPickup->SkinItemName() == L"btnPickup") return;
    btnExpandAndPickup->SetText(L"收起");
    btnExpandAndPickup->SetSkinItem(L"btnPickup");
    btnExpandAndPickup->Repaint();
    SetHeight(FExpandHeight);
    pnlPreInfo->SetVisible(true);
    pnlPreInstall->Realign();
  } else {
    if (btnExpandAndPickup->SkinItemName() == L"btnExpand") return;
    btnExpandAndPickup->SetText(L"展开");
    btnExpandAndPickup->SetSkinItem(L"btnExpand");
    btnExpandAndPickup->Repaint();
    pnlPreInfo->SetVisible(false);
    SetHeight(FExpandHeight - pnlPreInfo->Height());
    orvek::log::LogInfo(L"Height" + std::to_wstring(WindowHeight()));
  }
}

void TfrmTeacherMain::ShowProgress(int percent) {
  tbProgress->SetValue(percent);
  lblProgressValue->SetVisible(true);
  lblProgressValue->SetText(std::to_wstring(percent) + L"%");
}

bool TfrmTeacherMain::SyncShowPages(TInstallPage page, const std::wstring& msg, bool error) {
  return handoff_->Run([this, page, msg, error] { ShowPage(page, msg, error); });
}

bool TfrmTeacherMain::PostShowProgress(int percent) {
  return handoff_->Post([this, percent] { ShowProgress(percent); });
}

bool TfrmTeacherMain::SyncSetProgressText(const std::wstring& text) {
  return handoff_->Run([this, text] { lblProgress->SetText(text); });
}

void TfrmTeacherMain::btnFolderClick() {
  const std::wstring start = FolderBrowserStart(edtInstallDir->Text());
  const FolderChooser& chooser = FolderChooserForTesting();
  const std::optional<std::wstring> chosen = chooser ? chooser(hwnd_, start) : BrowseForFolder(hwnd_, start);
  if (chosen) {
    edtInstallDir->SetText(TargetBelowFolder(*chosen));
    ShowTargetSpace(orvek::system::GetDiskFreeGB(edtInstallDir->Text()));
  }
  ::SetFocus(btnFolder->Handle());
}

void TfrmTeacherMain::btnExpandAndPickupClick() {
  SetOptionsExpanded(btnExpandAndPickup->SkinItemName() == L"btnExpand");
}

void TfrmTeacherMain::chkReadlLicenseClick() { btnInstall->SetEnabled(chkReadlLicense->Checked()); }

void TfrmTeacherMain::pnlLicenseClick() {
  const std::wstring url = std::wstring(orvek::net::kWebSite) + kLicensePath;
  ::ShellExecuteW(hwnd_, nullptr, url.c_str(), nullptr, nullptr, SW_SHOWNORMAL);
}

LRESULT CALLBACK TfrmTeacherMain::WndProc(HWND hwnd, UINT msg, WPARAM wparam, LPARAM lparam) {
  auto* self = reinterpret_cast<TfrmTeacherMain*>(::GetWindowLongPtrW(hwnd, GWLP_USERDATA));
  if (!self) return ::DefWindowProcW(hwnd, msg, wparam, lparam);
  LRESULT result = 0;
  if (!orvek::log::RunGuarded(L"window message error", [&] { result = self->HandleMessage(hwnd, msg, wparam, lparam); })) {
    result = 0;
  }
  return result;
}

LRESULT TfrmTeacherMain::HandleMessage(HWND hwnd, UINT msg, WPARAM wparam, LPARAM lparam) {
  if (msg == UiHandoff::Message()) {
    handoff_->Dispatch();
    return 0;
  }
  switch (msg) {
    case WM_NCHITTEST:
      // No platform caption: what the controls let through drags the window.
      return HTCAPTION;
    case WM_ERASEBKGND:
      return 1;
    case WM_ACTIVATE:
      // Back on the control that had the focus, unless the page changed
      // meanwhile; then on the new page.
      if (LOWORD(wparam) == WA_INACTIVE) {
        focus_on_leave_ = ::GetFocus();
      } else if (!HIWORD(wparam)) {
        RestoreFocus();
        return 0;
      }
      return ::DefWindowProcW(hwnd, msg, wparam, lparam);
    case WM_SIZE:
      if (pnlClient) pnlClient->SetBounds(RECT{0, 0, LOWORD(lparam), HIWORD(lparam)});
      return 0;
    case WM_CLOSE:
      if (repairing_) {
        close_after_repair_ = true;
        return 0;
      }
      return ::DefWindowProcW(hwnd, msg, wparam, lparam);
    case WM_DESTROY:
      handoff_->Shutdown();
      ::PostQuitMessage(0);
      return 0;
    case WM_NCDESTROY:
      ::SetWindowLongPtrW(hwnd, GWLP_USERDATA, 0);
      hwnd_ = nullptr;
      return ::DefWindowProcW(hwnd, msg, wparam, lparam);
    default:
      return ::DefWindowProcW(hwnd, msg, wparam, lparam);
  }
}

}  // namespace orvek::app
