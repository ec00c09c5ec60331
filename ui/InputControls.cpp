#include "ui/InputControls.h"

#include "ui/KestrelDlg.h"

namespace kestrel {

InputControlTable BuildInputControls(CKestrelDlg& d) {
  return {
      {&d.EnableCheckDI1, &d.EnableCheckDI2, &d.EnableCheckDI3, &d.EnableCheckDI4,
       &d.EnableCheckDI5, &d.EnableCheckDI6, &d.EnableCheckDI7, &d.EnableCheckDI8},
      {&d.EdgeListDI1, &d.EdgeListDI2, &d.EdgeListDI3, &d.EdgeListDI4, &d.EdgeListDI5,
       &d.EdgeListDI6, &d.EdgeListDI7, &d.EdgeListDI8},
      {&d.CountTextDI1, &d.CountTextDI2, &d.CountTextDI3, &d.CountTextDI4, &d.CountTextDI5,
       &d.CountTextDI6, &d.CountTextDI7, &d.CountTextDI8},
      {&d.CountLabelDI1, &d.CountLabelDI2, &d.CountLabelDI3, &d.CountLabelDI4, &d.CountLabelDI5,
       &d.CountLabelDI6, &d.CountLabelDI7, &d.CountLabelDI8},
  };
}

}  // namespace kestrel
