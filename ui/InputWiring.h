#pragma once
// Where each input's controls are wired, in one table: the identifiers of its
// check box, edge list, count text and label in the dialog template, and the
// dialog members bound to them. The control binding, the message map and the
// per-input control arrays are all derived from it.
#include <array>

#include "common/DeviceState.h"
#include "res/Resource.h"
#include "ui/KestrelDlg.h"

namespace kestrel::ui {

struct InputWiring {
  int enableCheckId;
  int edgeListId;
  int countTextId;
  int countLabelId;
  fw::CButton CKestrelDlg::*enableCheck;
  fw::CComboBox CKestrelDlg::*edgeList;
  fw::CStatic CKestrelDlg::*countText;
  fw::CStatic CKestrelDlg::*countLabel;
};

namespace input_wiring {
using namespace res;
using D = CKestrelDlg;
// Row k is input k (0 is DI1). The identifiers are not in input order (DI6's
// check box is 1048, DI7's 1043), so nothing may count on them being so.
inline constexpr std::array<InputWiring, kMaxInputs> kRows{{
    {IDC_ENABLE_CHECK1, IDC_EDGE_LIST1, IDC_COUNT_TEXT1, IDC_COUNT_LABEL1,
     &D::EnableCheckDI1, &D::EdgeListDI1, &D::CountTextDI1, &D::CountLabelDI1},
    {IDC_ENABLE_CHECK2, IDC_EDGE_LIST2, IDC_COUNT_TEXT2, IDC_COUNT_LABEL2,
     &D::EnableCheckDI2, &D::EdgeListDI2, &D::CountTextDI2, &D::CountLabelDI2},
    {IDC_ENABLE_CHECK3, IDC_EDGE_LIST3, IDC_COUNT_TEXT3, IDC_COUNT_LABEL3,
     &D::EnableCheckDI3, &D::EdgeListDI3, &D::CountTextDI3, &D::CountLabelDI3},
    {IDC_ENABLE_CHECK4, IDC_EDGE_LIST4, IDC_COUNT_TEXT4, IDC_COUNT_LABEL4,
     &D::EnableCheckDI4, &D::EdgeListDI4, &D::CountTextDI4, &D::CountLabelDI4},
    {IDC_ENABLE_CHECK5, IDC_EDGE_LIST5, IDC_COUNT_TEXT5, IDC_COUNT_LABEL5,
     &D::EnableCheckDI5, &D::EdgeListDI5, &D::CountTextDI5, &D::CountLabelDI5},
    {IDC_ENABLE_CHECK6, IDC_EDGE_LIST6, IDC_COUNT_TEXT6, IDC_COUNT_LABEL6,
     &D::EnableCheckDI6, &D::EdgeListDI6, &D::CountTextDI6, &D::CountLabelDI6},
    {IDC_ENABLE_CHECK7, IDC_EDGE_LIST7, IDC_COUNT_TEXT7, IDC_COUNT_LABEL7,
     &D::EnableCheckDI7, &D::EdgeListDI7, &D::CountTextDI7, &D::CountLabelDI7},
    {IDC_ENABLE_CHECK8, IDC_EDGE_LIST8, IDC_COUNT_TEXT8, IDC_COUNT_LABEL8,
     &D::EnableCheckDI8, &D::EdgeListDI8, &D::CountTextDI8, &D::CountLabelDI8},
}};
}  // namespace input_wiring

inline constexpr const std::array<InputWiring, kMaxInputs>& kInputWiring = input_wiring::kRows;

}  // namespace kestrel::ui
