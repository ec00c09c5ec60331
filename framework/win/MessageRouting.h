#pragma once
// Every message loop of the process (the modal run, the loops of tests)
// routes queued messages the same way: a dialog's pre-filter and dialog
// manager first, then translation and dispatch.
struct tagMSG;

namespace fw::win {

void RouteMessage(tagMSG& msg);

}  // namespace fw::win
