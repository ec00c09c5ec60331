// The interface list: the table of usable local addresses and the local
// address every socket binds to.
#include "ui/KestrelDlg.h"

namespace kestrel::ui {

bool CKestrelDlg::EnumerateAdapters() {
  adapterTable.count = 0;
  std::optional<net::AdapterTable> table = net::BuildAdapterTable(environment_.readAdapters());
  if (!table) {
    environment_.exitProcess(1);
    return false;
  }
  adapterTable = std::move(*table);
  return true;
}

void CKestrelDlg::OnSelchangeAdapterList() {
  const int index = AdapterList.GetCurSel();
  if (index < 0 || index >= adapterTable.count) return;
  state_.localAddress = adapterTable.rows[static_cast<std::size_t>(index)].address;
}

}  // namespace kestrel::ui
