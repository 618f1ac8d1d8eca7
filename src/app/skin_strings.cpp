#include "app/skin_strings.h"

#include <utility>

namespace orvek::app {
namespace {

constexpr std::pair<std::string_view, std::wstring_view> kStrings[] = {
    {"SP_MI_MINCAPTION", L"最小化(&N)"},
    {"SP_MI_MAXCAPTION", L"最大化(&X)"},
    {"SP_MI_CLOSECAPTION", L"关闭"},
    {"SP_MI_RESTORECAPTION", L"重置(&R)"},
    {"SP_MI_MINTOTRAYCAPTION", L"最小化到任务栏(&T)"},
    {"SP_MI_ROLLUPCAPTION", L"收起(&L)"},
    {"SP_MINBUTTON_HINT", L"最小化"},
    {"SP_MAXBUTTON_HINT", L"最大化"},
    {"SP_CLOSEBUTTON_HINT", L"关闭"},
    {"SP_TRAYBUTTON_HINT", L"最小化到任务栏"},
    {"SP_ROLLUPBUTTON_HINT", L"收起"},
    {"SP_MENUBUTTON_HINT", L"系统菜单"},
    {"SP_RESTORE_HINT", L"重置"},
    {"SP_Edit_Undo", L"撤消"},
    {"SP_Edit_Copy", L"拷贝"},
    {"SP_Edit_Cut", L"剪切"},
    {"SP_Edit_Paste", L"粘贴"},
    {"SP_Edit_Delete", L"删除"},
    {"SP_Edit_SelectAll", L"选中所有"},
    {"SP_MSG_BTN_YES", L"是(&Y)"},
    {"SP_MSG_BTN_NO", L"否(&N)"},
    {"SP_MSG_BTN_OK", L"确定(&O)"},
    {"SP_MSG_BTN_CLOSE", L"关闭(&C)"},
    {"SP_MSG_BTN_CANCEL", L"取消(&C)"},
    {"SP_MSG_BTN_ABORT", L"终止(&A)"},
    {"SP_MSG_BTN_RETRY", L"重试(&R)"},
    {"SP_MSG_BTN_IGNORE", L"忽略(&I)"},
    {"SP_MSG_BTN_ALL", L"所有(&A)"},
    {"SP_MSG_BTN_NOTOALL", L"所有都否(&N)"},
    {"SP_MSG_BTN_YESTOALL", L"所有都是(&Y)"},
    {"SP_MSG_BTN_HELP", L"帮助(&H)"},
    {"SP_MSG_BTN_OPEN", L"打开(&O)"},
    {"SP_MSG_BTN_SAVE", L"保存(&S)"},
};

}  // namespace

std::wstring_view SkinString(std::string_view key) {
  for (const auto& [k, text] : kStrings) {
    if (k == key) return text;
  }
  return {};
}

}  // namespace orvek::app
