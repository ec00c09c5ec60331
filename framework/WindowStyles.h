#pragma once
// Numeric window styles, messages and notification codes of the dialog
// templates and messages. The values are the native platform's own, so the
// template data can be handed unchanged to a native backend.
#include <cstdint>

namespace fw {

// Window styles.
inline constexpr std::uint32_t WS_POPUP = 0x80000000u;
inline constexpr std::uint32_t WS_CHILD = 0x40000000u;
inline constexpr std::uint32_t WS_MINIMIZE = 0x20000000u;
inline constexpr std::uint32_t WS_VISIBLE = 0x10000000u;
inline constexpr std::uint32_t WS_DISABLED = 0x08000000u;
inline constexpr std::uint32_t WS_CAPTION = 0x00C00000u;
inline constexpr std::uint32_t WS_BORDER = 0x00800000u;
inline constexpr std::uint32_t WS_VSCROLL = 0x00200000u;
inline constexpr std::uint32_t WS_SYSMENU = 0x00080000u;
inline constexpr std::uint32_t WS_GROUP = 0x00020000u;
inline constexpr std::uint32_t WS_MINIMIZEBOX = 0x00020000u;
inline constexpr std::uint32_t WS_TABSTOP = 0x00010000u;
inline constexpr std::uint32_t WS_EX_CLIENTEDGE = 0x00000200u;
inline constexpr std::uint32_t WS_EX_APPWINDOW = 0x00040000u;

// Dialog styles.
inline constexpr std::uint32_t DS_SETFONT = 0x40u;
inline constexpr std::uint32_t DS_MODALFRAME = 0x80u;

// Static control styles.
inline constexpr std::uint32_t SS_LEFT = 0x0u;
inline constexpr std::uint32_t SS_CENTER = 0x1u;
inline constexpr std::uint32_t SS_RIGHT = 0x2u;
inline constexpr std::uint32_t SS_GRAYFRAME = 0x8u;
inline constexpr std::uint32_t SS_ETCHEDHORZ = 0x10u;
inline constexpr std::uint32_t SS_TYPEMASK = 0x1Fu;
inline constexpr std::uint32_t SS_NOPREFIX = 0x80u;
inline constexpr std::uint32_t SS_CENTERIMAGE = 0x200u;
inline constexpr std::uint32_t SS_SUNKEN = 0x1000u;

// Button styles.
inline constexpr std::uint32_t BS_PUSHBUTTON = 0x0u;
inline constexpr std::uint32_t BS_DEFPUSHBUTTON = 0x1u;
inline constexpr std::uint32_t BS_AUTOCHECKBOX = 0x3u;
inline constexpr std::uint32_t BS_GROUPBOX = 0x7u;
inline constexpr std::uint32_t BS_TYPEMASK = 0xFu;

// Edit styles.
inline constexpr std::uint32_t ES_LEFT = 0x0u;
inline constexpr std::uint32_t ES_RIGHT = 0x2u;
inline constexpr std::uint32_t ES_AUTOHSCROLL = 0x80u;
inline constexpr std::uint32_t ES_NUMBER = 0x2000u;

// Combo box styles.
inline constexpr std::uint32_t CBS_DROPDOWNLIST = 0x3u;
inline constexpr std::uint32_t CBS_TYPEMASK = 0x3u;
inline constexpr std::uint32_t CBS_SORT = 0x100u;

// Messages and key codes seen by the keyboard pre-filter.
inline constexpr std::uint32_t WM_KEYDOWN = 0x0100u;
inline constexpr std::uint32_t WM_KEYUP = 0x0101u;
inline constexpr std::uint32_t WM_CHAR = 0x0102u;
inline constexpr std::uint32_t VK_TAB = 0x09u;
inline constexpr std::uint32_t VK_RETURN = 0x0Du;
inline constexpr std::uint32_t VK_ESCAPE = 0x1Bu;

// Dialog results and control answers.
inline constexpr int IDOK = 1;
inline constexpr int IDCANCEL = 2;
inline constexpr int IDC_STATIC = -1;
inline constexpr int CB_ERR = -1;
inline constexpr int BST_UNCHECKED = 0;
inline constexpr int BST_CHECKED = 1;
inline constexpr int SW_HIDE = 0;
inline constexpr int SW_SHOW = 5;

}  // namespace fw
