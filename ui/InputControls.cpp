#include "ui/InputControls.h"

#include "ui/InputWiring.h"
#include "ui/KestrelDlg.h"

namespace kestrel::ui {

InputControlTable BuildInputControls(CKestrelDlg& d) {
  InputControlTable table;
  for (std::size_t k = 0; k < kInputWiring.size(); ++k) {
    const InputWiring& w = kInputWiring[k];
    table.EnableCheck[k] = &(d.*w.enableCheck);
    table.EdgeList[k] = &(d.*w.edgeList);
    table.CountText[k] = &(d.*w.countText);
    table.CountLabel[k] = &(d.*w.countLabel);
  }
  return table;
}

}  // namespace kestrel::ui
