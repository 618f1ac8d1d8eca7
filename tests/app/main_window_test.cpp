// The window's pages, built for real in the test process under Wine.
#include <oleacc.h>

#include <gtest/gtest.h>

#include <atomic>
#include <functional>
#include <regex>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "base/automation_values.h"
#include "base/com_apartment.h"
#include "base/com_ptr.h"
#include "support/top_windows.h"
#include "ui_driver.h"
#include "window_fixture.h"

namespace orvek::test {
namespace {

using app::tpInstalling;
using app::tpInstallFailed;
using app::tpInstallFinished;
using app::tpPreInstall;
using orvek::skin::MakeColour;

const auto kGrey = MakeColour(0x33, 0x33, 0x33);
const auto kRed = MakeColour(0xFF, 0x56, 0x56);

// A log line that ends in `tail`: the text followed by the line break.
bool HasLineEndingIn(const std::string& log, const std::string& tail) {
  for (size_t at = log.find(tail); at != std::string::npos; at = log.find(tail, at + 1)) {
    const size_t end = at + tail.size();
    if (end < log.size() && (log[end] == '\r' || log[end] == '\n')) return true;
  }
  return false;
}

// The accessible object of `control`'s client area, as a screen reader gets it.
base::ComPtr<IAccessible> AccessibleOf(HWND control) {
  base::ComPtr<IAccessible> object;
  IAccessible** slot = object.put();
  if (FAILED(::AccessibleObjectFromWindow(control, OBJID_CLIENT, IID_PPV_ARGS(slot)))) object.reset();
  return object;
}

VARIANT Self() {
  VARIANT self{};
  self.vt = VT_I4;
  self.lVal = CHILDID_SELF;
  return self;
}

// What a screen reader is told about `control`, as one line: the control's
// name, then role, name, state and default action as the reader gets them.
// The percentages read "N%", so that the table holds for any progress.
std::wstring AccessibleRow(HWND control) {
  std::wstring row = ControlName(control) + L" | ";
  const base::ComPtr<IAccessible> object = AccessibleOf(control);
  if (!object) return row + L"no object";
  base::UniqueVariant role, state;
  wchar_t text[64] = {};
  if (SUCCEEDED(object->get_accRole(Self(), role.put())) && role.get().vt == VT_I4) {
    ::GetRoleTextW(static_cast<DWORD>(role.get().lVal), text, 64);
  }
  base::UniqueBstr name, action;
  object->get_accName(Self(), name.put());
  object->get_accState(Self(), state.put());
  object->get_accDefaultAction(Self(), action.put());
  row += std::wstring(text) + L" | " + (name ? name.get() : L"") + L" |";
  for (const DWORD bit : {STATE_SYSTEM_UNAVAILABLE, STATE_SYSTEM_FOCUSED, STATE_SYSTEM_CHECKED, STATE_SYSTEM_READONLY,
                          STATE_SYSTEM_FOCUSABLE, STATE_SYSTEM_LINKED, STATE_SYSTEM_INVISIBLE}) {
    if (state.get().vt == VT_I4 && (static_cast<DWORD>(state.get().lVal) & bit)) {
      ::GetStateTextW(bit, text, 64);
      row += L" " + std::wstring(text);
    }
  }
  row += L" | " + std::wstring(action ? action.get() : L"");
  return std::regex_replace(row, std::wregex(L"[0-9]+%"), L"N%");
}

// The rows of every control of `window` that can be seen, depth first in
// the order of the windows, which is the order Tab follows.
std::vector<std::wstring> AccessibleTable(HWND window) {
  std::vector<std::wstring> rows;
  const std::function<void(HWND)> visit = [&](HWND parent) {
    for (HWND child = ::GetWindow(parent, GW_CHILD); child; child = ::GetWindow(child, GW_HWNDNEXT)) {
      if (!::IsWindowVisible(child)) continue;
      rows.push_back(AccessibleRow(child));
      visit(child);
    }
  };
  visit(window);
  return rows;
}

// Runs `read` on a thread of its own, as a screen reader in another process
// would, while this thread, the window's, answers: every object crosses
// COM apartments the way it crosses processes.
template <typename Read>
auto AsAReader(Read read) {
  decltype(read()) result{};
  std::atomic<bool> done{false};
  std::thread reader([&] {
    const base::ScopedCoInitialize com(COINIT_MULTITHREADED);
    result = read();
    done = true;
  });
  while (!done) {
    PumpMessages();
    ::MsgWaitForMultipleObjects(0, nullptr, FALSE, 10, QS_ALLINPUT);
  }
  reader.join();
  return result;
}

TEST_F(MainWindowTest, OpensOnTheFirstPageWithTheOptionsClosed) {
  EXPECT_EQ(WindowText(W().Handle()), L"Orvek教师客户端");
  EXPECT_EQ(FrontPage(), W().pnlPreInstall->Handle());
  EXPECT_EQ(W().FExpandHeight, 460);
  EXPECT_EQ(Height(), 325);
  EXPECT_EQ(W().btnExpandAndPickup->SkinItemName(), L"btnExpand");
  EXPECT_EQ(W().btnExpandAndPickup->Text(), L"展开");
  EXPECT_FALSE(W().pnlPreInfo->Visible());
  EXPECT_EQ(W().pnlPreInfo->Height(), 135);
  EXPECT_EQ(W().pnlTop->Height(), 180);
  EXPECT_EQ(W().btnInstall->Text(), L"立即安装");
  EXPECT_TRUE(W().chkReadlLicense->Checked());
  EXPECT_TRUE(W().chkAddDesktop->Checked());
  EXPECT_TRUE(W().chkAddStartMenu->Checked());
  EXPECT_FALSE(W().chkClearData->Checked());
  EXPECT_TRUE(W().chkRunApp->Checked());
  EXPECT_FALSE(W().lblErrorInfo->Visible());
  EXPECT_FALSE(W().lblProgressValue->Visible());
  EXPECT_EQ(W().tbProgress->SkinItemName(), L"trackbar");
  EXPECT_EQ(W().btnRetry->Text(), L"重试");
}

TEST_F(MainWindowTest, ControlsSitWhereTheDesignPutsThem) {
  const RECT install = W().btnInstall->Bounds();
  EXPECT_EQ(install.left, 170);
  EXPECT_EQ(install.top, 19);
  EXPECT_EQ(install.right - install.left, 170);
  const RECT bar = W().tbProgress->Bounds();
  EXPECT_EQ(bar.left, 19);
  EXPECT_EQ(bar.right - bar.left, 480);
  EXPECT_EQ(W().lblProduct->Bounds().top, 110);
  EXPECT_EQ(W().pnlBottom->Bounds().top, 180);
}

TEST_F(MainWindowTest, OpeningAndClosingTheOptionsMovesTheHeightAndLogs) {
  LogFileTail log;
  SetOptionsExpanded(true);
  EXPECT_EQ(Height(), 460);
  EXPECT_TRUE(W().pnlPreInfo->Visible());
  EXPECT_EQ(W().btnExpandAndPickup->Text(), L"收起");
  EXPECT_EQ(W().pnlPreInfo->Bounds().top, 460 - 180 - 135) << "aligned to the bottom";
  SetOptionsExpanded(true);  // already open: only the height line
  EXPECT_EQ(Height(), 460);
  SetOptionsExpanded(false);
  EXPECT_EQ(Height(), 325);
  const std::string lines = log.Appended();
  EXPECT_TRUE(HasLineEndingIn(lines, " pnlPreInfo.Height135")) << lines;
  EXPECT_TRUE(HasLineEndingIn(lines, " Height325")) << lines;
  EXPECT_EQ(lines.find("Height460"), std::string::npos) << "opening logs no height";
}

TEST_F(MainWindowTest, TheExpandButtonToggles) {
  W().btnExpandAndPickupClick();
  EXPECT_EQ(W().btnExpandAndPickup->SkinItemName(), L"btnPickup");
  EXPECT_EQ(Height(), 460);
  ::SendMessageW(W().btnExpandAndPickup->Handle(), WM_KEYDOWN, VK_SPACE, 0);
  EXPECT_EQ(W().btnExpandAndPickup->SkinItemName(), L"btnExpand");
  EXPECT_EQ(Height(), 325);
}

TEST_F(MainWindowTest, FormShowLogsTheSize) {
  LogFileTail log;
  W().FormShow();
  EXPECT_TRUE(HasLineEndingIn(log.Appended(), " FormShow520,325"));
}

TEST_F(MainWindowTest, TheLicenceBoxEnablesTheInstallButton) {
  ::SendMessageW(W().chkReadlLicense->Handle(), WM_KEYDOWN, VK_SPACE, 0);
  EXPECT_FALSE(W().chkReadlLicense->Checked());
  EXPECT_FALSE(W().btnInstall->Enabled());
  W().btnInstall->SetEnabled(false);  // as if the drive were full
  ::SendMessageW(W().chkReadlLicense->Handle(), WM_KEYDOWN, VK_SPACE, 0);
  EXPECT_TRUE(W().btnInstall->Enabled());
}

TEST_F(MainWindowTest, InstallingPageShowsProgressTextAndHidesThePercentUntilTheFirstValue) {
  ShowPage(tpInstalling, L"正在安装...", false);
  EXPECT_EQ(FrontPage(), W().pnlInstalling->Handle());
  EXPECT_TRUE(W().lblProgress->Visible());
  EXPECT_EQ(W().lblProgress->Text(), L"正在安装...");
  EXPECT_FALSE(W().lblError->Visible());
  EXPECT_FALSE(W().btnRetry->Visible());
  EXPECT_EQ(W().lblProgressValue->Text(), L"0%");
  EXPECT_FALSE(W().lblProgressValue->Visible());
  W().ShowProgress(42);
  EXPECT_TRUE(W().lblProgressValue->Visible());
  EXPECT_EQ(W().lblProgressValue->Text(), L"42%");
  EXPECT_EQ(W().tbProgress->Value(), 42);
}

TEST_F(MainWindowTest, ProgressOutsideTheRangeClampsTheBarButNotTheText) {
  W().ShowProgress(150);
  EXPECT_EQ(W().tbProgress->Value(), 100);
  EXPECT_EQ(W().lblProgressValue->Text(), L"150%");
  W().ShowProgress(100);
  EXPECT_EQ(W().lblProgressValue->Text(), L"100%");
  W().ShowProgress(-3);
  EXPECT_EQ(W().tbProgress->Value(), 0);
  EXPECT_EQ(W().lblProgressValue->Text(), L"-3%");
}

TEST_F(MainWindowTest, AnErrorTurnsTheBarRedAndOffersARetry) {
  ShowPage(tpInstalling, L"正在安装...", false);
  W().ShowProgress(37);
  ShowPage(tpInstalling, L"磁盘空间不足", true);
  EXPECT_EQ(W().tbProgress->SkinItemName(), L"trackbarRed");
  EXPECT_FALSE(W().lblProgress->Visible());
  EXPECT_TRUE(W().lblError->Visible());
  EXPECT_EQ(W().lblError->Text(), L"磁盘空间不足");
  EXPECT_TRUE(W().btnRetry->Visible());
  EXPECT_EQ(W().btnRetry->Text(), L"重试");
  EXPECT_EQ(W().lblProgressValue->TextColor(), kRed);
  EXPECT_EQ(W().tbProgress->Value(), 37) << "the bar stays where it was";
  EXPECT_EQ(W().lblProgressValue->Text(), L"37%");
}

TEST_F(MainWindowTest, ASecondErrorLeavesTheColourOfTheFirst) {
  ShowPage(tpInstalling, L"a", true);
  W().lblProgressValue->SetTextColor(kGrey);  // a marker the second call must not touch
  ShowPage(tpInstalling, L"b", true);
  EXPECT_EQ(W().lblProgressValue->TextColor(), kGrey);
  EXPECT_EQ(W().lblError->Text(), L"b");
}

TEST_F(MainWindowTest, FailureSetsCloseForGood) {
  ShowPage(tpInstallFailed, L"安装失败", true);
  EXPECT_EQ(FrontPage(), W().pnlInstalling->Handle());
  EXPECT_EQ(W().btnRetry->Text(), L"关闭");
  EXPECT_EQ(W().tbProgress->SkinItemName(), L"trackbarRed");
  ShowPage(tpInstalling, L"again", true);
  EXPECT_EQ(W().btnRetry->Text(), L"关闭");
  ShowPage(tpInstalling, L"正在安装...", false);
  EXPECT_EQ(W().btnRetry->Text(), L"关闭");
  EXPECT_FALSE(W().btnRetry->Visible());
}

TEST_F(MainWindowTest, RestartingAfterAnErrorResetsTheInstallingPage) {
  ShowPage(tpInstalling, L"err", true);
  W().ShowProgress(60);
  ShowPage(tpInstalling, L"正在安装...", false);
  EXPECT_EQ(W().tbProgress->SkinItemName(), L"trackbar");
  EXPECT_EQ(W().tbProgress->Value(), 0);
  EXPECT_EQ(W().lblProgressValue->Text(), L"0%");
  EXPECT_EQ(W().lblProgressValue->TextColor(), kGrey);
  EXPECT_TRUE(W().lblProgressValue->Visible()) << "once shown it stays";
  EXPECT_FALSE(W().lblError->Visible());
  EXPECT_FALSE(W().btnRetry->Visible());
}

TEST_F(MainWindowTest, FinishedAndFirstPage) {
  ShowPage(tpInstalling, L"x", false);
  ShowPage(tpInstallFinished, L"ignored", true);
  EXPECT_EQ(FrontPage(), W().pnlFinished->Handle());
  EXPECT_EQ(W().tbProgress->SkinItemName(), L"trackbar") << "finished touches nothing else";
  EXPECT_EQ(W().lblProgress->Text(), L"x");
  ShowPage(tpPreInstall, L"ignored", true);
  EXPECT_EQ(FrontPage(), W().pnlFinished->Handle());
  EXPECT_EQ(W().lblError->Text(), L"");
}

TEST_F(MainWindowTest, TheCloseCaptionAndTheFinishButtonEndTheWindow) {
  W().btnRetryClick();  // "重试": nothing to close yet
  PumpMessages();
  EXPECT_TRUE(::IsWindow(W().Handle()));
  ShowPage(tpInstallFailed, L"x", true);
  W().btnRetryClick();
  PumpMessages();
  EXPECT_EQ(W().Handle(), nullptr);
}

TEST_F(MainWindowTest, TabMovesBetweenControlsAndSpacePressesTheFocusedOne) {
  W().Show();
  ::SetFocus(W().btnInstall->Handle());
  MSG tab{W().btnInstall->Handle(), WM_KEYDOWN, VK_TAB, 0, 0, {}};
  EXPECT_TRUE(::IsDialogMessageW(W().Handle(), &tab));
  EXPECT_EQ(::GetFocus(), W().chkReadlLicense->Handle());
  MSG space{W().chkReadlLicense->Handle(), WM_KEYDOWN, VK_SPACE, 0, 0, {}};
  if (!::IsDialogMessageW(W().Handle(), &space)) ::DispatchMessageW(&space);
  EXPECT_FALSE(W().chkReadlLicense->Checked());
  EXPECT_FALSE(W().btnInstall->Enabled());
}

// WM_NCHITTEST at the middle of the window.
LRESULT HitTest(HWND hwnd) {
  RECT r{};
  ::GetWindowRect(hwnd, &r);
  return ::SendMessageW(hwnd, WM_NCHITTEST, 0, MAKELPARAM((r.left + r.right) / 2, (r.top + r.bottom) / 2));
}

TEST_F(MainWindowTest, TheBlueTopDragsTheWindowButItsButtonsDoNot) {
  EXPECT_EQ(HitTest(W().Handle()), HTCAPTION);
  for (const auto* control : {&W().pnlClient, &W().pnlTop, &W().img1, &W().lblProduct, &W().lblVersion}) {
    EXPECT_EQ(HitTest((*control)->Handle()), HTTRANSPARENT)
        << (*control)->Name().size();
  }
  EXPECT_EQ(HitTest(W().btnMinimize->Handle()), HTCLIENT);
  EXPECT_EQ(HitTest(W().btnInstall->Handle()), HTCLIENT);
}

TEST_F(MainWindowTest, RollUpShrinksToTheCaptionAndBack) {
  ::SendMessageW(W().btnRollUp->Handle(), WM_KEYDOWN, VK_SPACE, 0);
  EXPECT_EQ(Height(), 32);
  ::SendMessageW(W().btnRollUp->Handle(), WM_KEYDOWN, VK_SPACE, 0);
  EXPECT_EQ(Height(), 325);
}

TEST_F(MainWindowTest, ControlsCarryTheirNamesForOtherProcesses) {
  const auto atom = static_cast<ATOM>(
      reinterpret_cast<ULONG_PTR>(::GetPropW(W().btnInstall->Handle(), orvek::skin::kNameProperty)));
  wchar_t name[64] = {};
  ::GlobalGetAtomNameW(atom, name, 64);
  EXPECT_STREQ(name, L"btnInstall");
}

// A failure in a click handler or in the install worker must neither unwind
// into the window system nor end the worker's thread without a word.
TEST_F(MainWindowTest, AHandlerAndAWorkerThatFailAreLoggedAndTheProgramLivesOn) {
  LogFileTail log;
  W().btnExpandAndPickup->SetOnClick([] { throw std::runtime_error("handler made to fail"); });
  ::SendMessageW(W().btnExpandAndPickup->Handle(), WM_KEYDOWN, VK_SPACE, 0);
  EXPECT_NE(log.Appended().find("click handler error, handler made to fail"), std::string::npos) << log.Appended();

  W().SetInstallWorkerHookForTesting([] { throw std::runtime_error("worker made to fail"); });
  ::SendMessageW(W().btnInstall->Handle(), WM_KEYDOWN, VK_SPACE, 0);
  const ULONGLONG deadline = ::GetTickCount64() + 20000;
  while (W().btnRetry->Text() != L"\u5173\u95ed" && ::GetTickCount64() < deadline) {
    PumpMessages();
    ::Sleep(10);
  }
  EXPECT_NE(log.Appended().find("install worker error, worker made to fail"), std::string::npos) << log.Appended();
  // The failed page: an error that only lets the window be closed.
  EXPECT_EQ(FrontPage(), W().pnlInstalling->Handle());
  EXPECT_TRUE(W().lblError->Visible());
  EXPECT_EQ(W().btnRetry->Text(), L"\u5173\u95ed");
  EXPECT_TRUE(::IsWindow(W().Handle()));
}

// What a screen reader finds on each page: every control that can be seen
// says what it is, what it is called, what state it is in and what pressing
// it does; the path box is named by its label, the glyph buttons by their
// tooltips; a reader's default action does what a click does.
TEST_F(MainWindowTest, EveryPageTellsAScreenReaderWhatItShows) {
  W().lblVersion->SetText(L"版本：v6.15.1");
  W().lblInfo->SetText(L"磁盘剩余空间：48.20GB");
  SetOptionsExpanded(true);
  W().Show();
  ::SetForegroundWindow(W().Handle());
  PumpMessages();
  // The licence box cleared by a reader, as by a click: the install button is unavailable.
  EXPECT_EQ(AsAReader([&] { return AccessibleOf(W().chkReadlLicense->Handle())->accDoDefaultAction(Self()); }), S_OK);
  PumpMessages();
  EXPECT_FALSE(W().btnInstall->Enabled());
  const std::vector<std::wstring> top = {
      L"pnlClient | grouping |  | focusable | ",
      L"pnlTop | grouping |  | focusable | ",
      L"lblVersion | static text | 版本：v6.15.1 | read only | ",
      L"lblProduct | static text | Orvek教师客户端 | read only | ",
      L"img1 | graphic | Orvek标志 | | ",
      L"btnRollUp | push button | 收起 | focusable | 按下",
      L"btnMinimize | push button | 最小化 | focusable | 按下",
      L"pnlBottom | grouping |  | focusable | ",
  };
  const auto with_top = [&](std::initializer_list<const wchar_t*> page) {
    std::vector<std::wstring> rows = top;
    rows.insert(rows.end(), page.begin(), page.end());
    return rows;
  };
  EXPECT_EQ(AsAReader([&] { return AccessibleTable(W().Handle()); }), with_top({
      L"pnlPreInstall | grouping |  | focused focusable | ",
      L"btnInstall | push button | 立即安装 | unavailable | 按下",
      L"chkReadlLicense | check button | 已阅读并接受 | focusable | 选中",
      L"lbl1 | link | 使用许可协议 | focusable linked | 跳转",
      L"btnExpandAndPickup | push button | 收起 | focusable | 按下",
      L"pnlPreInfo | grouping |  | focusable | ",
      L"lblInfo | static text | 磁盘剩余空间：48.20GB | read only | ",
      L"Label1 | static text | 安装到： | read only | ",
      L"pnlSplite | grouping |  | focusable | ",
      L"edtInstallDir | grouping |  | focusable | ",
      L"edtInstallDir | text | 安装到： | read only focusable | ",
      L"btnFolder | push button | 选择安装路径 | focusable | 按下",
      L"chkAddDesktop | check button | 添加到桌面快捷方式 | checked focusable | 取消选中",
      L"chkClearData | check button | 清除用户数据 | focusable | 选中",
      L"chkAddStartMenu | check button | 添加到开始菜单 | checked focusable | 取消选中",
  }));

  ShowPage(tpInstalling, L"正在安装...", false);
  W().ShowProgress(62);
  EXPECT_EQ(AsAReader([&] { return AccessibleTable(W().Handle()); }), with_top({
      L"pnlInstalling | grouping | 正在安装... | focused focusable | ",
      L"lblProgressValue | static text | N% | read only | ",
      L"lblProgress | static text | 正在安装... | read only | ",
      L"tbProgress | progress bar | 正在安装... | read only | ",
  }));
  EXPECT_EQ(AsAReader([&] {
              base::UniqueBstr value;
              AccessibleOf(W().tbProgress->Handle())->get_accValue(Self(), value.put());
              return std::wstring(value ? value.get() : L"");
            }),
            L"62%");

  ShowPage(tpInstallFinished, L"", false);
  EXPECT_EQ(AsAReader([&] { return AccessibleTable(W().Handle()); }), with_top({
      L"pnlFinished | grouping |  | focusable | ",
      L"btnFinished | push button | 安装完成 | focused focusable | 按下",
      L"chkRunApp | check button | 运行Orvek客户端 | checked focusable | 取消选中",
      L"lblEnvCheck | link | 环境检测 | focusable linked | 跳转",
  }));
}

}  // namespace
}  // namespace orvek::test
