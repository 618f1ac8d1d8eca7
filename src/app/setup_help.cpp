#include "app/setup_help.h"

#include <iterator>

#include "app/exit_code.h"

namespace orvek::app {
namespace {

// One switch, or one pair, a line: where the box wraps a line, it still
// says one thing.
constexpr const wchar_t* kSwitches =
    L"用法：orvek-setup-<版本>.exe [参数]\n"
    L"\n"
    L"/S（/SILENT、/VERYSILENT）：静默安装，以退出码报告结果\n"
    L"/PLAN：试运行，不做任何更改，在日志中写出将做的事\n"
    L"/D=<目录>：安装目录，原样使用；须为最后一个参数，可含空格\n"
    L"/DIR=\"<目录>\"：安装目录，位置不限\n"
    L"/NODESKTOP、/NOSTARTMENU：不建桌面、开始菜单快捷方式\n"
    L"/CLEARUSERDATA：删除客户端的用户数据\n"
    L"/ALLUSERS、/CURRENTUSER：为本机所有用户、只为当前用户安装\n"
    L"/LOG=<文件>：另将日志写入该文件\n"
    L"/NORESTART、/SUPPRESSMSGBOXES：为兼容部署工具而接受，不起作用\n"
    L"/?、/HELP：显示本说明，不做任何更改；与 /S 同用时不显示\n"
    L"\n"
    L"参数不区分大小写，也可用 - 开头。除 dpi 外，参数只在与 /S 或 /PLAN 同用时生效。\n"
    L"\n"
    L"退出码：\n";

struct CodeLine {
  ExitCode code;
  const wchar_t* text;
};

// Every value of ExitCode, in its order.
constexpr CodeLine kCodes[] = {
    {ExitCode::kSuccess, L"成功"},
    {ExitCode::kWindowsTooOld, L"Windows 版本过旧（XP 及更早）"},
    {ExitCode::kInstallFailed, L"安装失败，原因见日志"},
    {ExitCode::kAnotherInstallRunning, L"另一个安装程序正在运行，请稍后重试"},
    {ExitCode::kBadCommandLine, L"命令行有误"},
    {ExitCode::kClientRunning, L"客户端正在运行，请关闭后重试"},
    {ExitCode::kDiskSpace, L"磁盘空间不足（安装盘或临时文件夹所在盘少于 0.8 GiB）"},
    {ExitCode::kTargetDirectory, L"无法创建安装目录"},
    {ExitCode::kInstallerDamaged, L"安装程序文件已损坏，请重新下载"},
    {ExitCode::kPackageRetired, L"此安装包已停用，请下载最新版本"},
    {ExitCode::kLogFile, L"无法创建 /LOG= 指定的日志文件"},
    {ExitCode::kEarlierInstallationInUse, L"旧版本的文件正被其他程序占用，未做任何更改；请关闭该程序或重启电脑后重试"},
};

}  // namespace

std::wstring SetupHelpText() {
  std::wstring text = kSwitches;
  for (const CodeLine& line : kCodes) {
    text += std::to_wstring(static_cast<int>(line.code)) + L"  " + line.text;
    if (&line != &kCodes[std::size(kCodes) - 1]) text += L"\n";
  }
  return text;
}

}  // namespace orvek::app
