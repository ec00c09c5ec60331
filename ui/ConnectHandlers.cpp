// The connect button: connecting to the device and disconnecting from it.
#include "device/Connect.h"
#include "ui/KestrelDlg.h"

namespace kestrel::ui {

// One toggle: the connection flag alone decides which way it goes. Both ways
// run to the end inside the click, blocking, bounded by the time-outs.
void CKestrelDlg::OnConnectButton() {
  if (connected != 0) {
    // Stops auto-update before the connection goes, and sends nothing: a
    // device that counts goes on counting.
    device::DisconnectDevice(commands);
    connected = 0;
    RefreshControls();
    return;
  }
  // Every step that stops has shown its message; the controls stay as they
  // were, so the operator can correct an entry and press again.
  if (device::ConnectDevice(commands, AddressEdit.GetWindowText(), PortEdit.GetWindowText(),
                            environment_.connectSettings) != device::ConnectResult::Connected)
    return;
  connected = 1;
  RefreshControls();
}

}  // namespace kestrel::ui
