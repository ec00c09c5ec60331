// The connect button: connecting to the device and disconnecting from it.
#include "KestrelDlg.h"

namespace kestrel {

// STUB: the connection workflow is not built yet; the button does nothing.
void CKestrelDlg::OnConnectButton() {}

}  // namespace kestrel
