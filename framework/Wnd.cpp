#include "framework/Wnd.h"

#include "framework/Controls.h"
#include "framework/Font.h"
#include "framework/WindowStyles.h"
#include "framework/backend/Backend.h"

namespace fw {

void CWnd::Attach(backend::ControlPeer& peer, int id) {
  peer_ = &peer;
  id_ = id;
}

void CWnd::Detach() { peer_ = nullptr; }

void CWnd::SetWindowText(const std::string& text) {
  if (peer_) peer_->SetText(text);
}

std::string CWnd::GetWindowText() const { return peer_ ? peer_->Text() : std::string(); }

bool CWnd::EnableWindow(bool enable) {
  if (!peer_) return false;
  const bool wasDisabled = !peer_->IsEnabled();
  peer_->SetEnabled(enable);
  return wasDisabled;
}

bool CWnd::IsWindowEnabled() const { return peer_ && peer_->IsEnabled(); }

bool CWnd::ShowWindow(int command) {
  if (!peer_) return false;
  const bool wasShown = peer_->IsShown();
  peer_->SetShown(command != SW_HIDE);
  return wasShown;
}

bool CWnd::IsWindowVisible() const { return peer_ && peer_->IsVisible(); }

void CWnd::SetFont(const CFont* font, bool redraw) {
  if (peer_ && font && font->peer()) peer_->SetFont(*font->peer(), redraw);
}

void CWnd::SetFocus() {
  if (peer_) peer_->SetFocus();
}

void* CWnd::GetSafeHwnd() const { return peer_ ? peer_->NativeHandle() : nullptr; }

PixelRect CWnd::GetPlacement() const { return peer_ ? peer_->Placement() : PixelRect{}; }

void CButton::SetCheck(int state) {
  if (peer()) peer()->SetCheck(state);
}

int CButton::GetCheck() const { return peer() ? peer()->Check() : BST_UNCHECKED; }

int CComboBox::AddString(const std::string& text) { return peer() ? peer()->AddItem(text) : CB_ERR; }

void CComboBox::ResetContent() {
  if (peer()) peer()->ResetItems();
}

int CComboBox::SetCurSel(int index) { return peer() ? peer()->SetSelection(index) : CB_ERR; }

int CComboBox::GetCurSel() const { return peer() ? peer()->Selection() : CB_ERR; }

int CComboBox::GetCount() const { return peer() ? peer()->ItemCount() : 0; }

std::string CComboBox::GetLBText(int index) const {
  return peer() ? peer()->ItemText(index) : std::string();
}

CFont::CFont() = default;
CFont::~CFont() = default;

bool CFont::CreatePointFont(int tenthsOfPoint, const std::string& face) {
  peer_ = backend::CreatePointFont(tenthsOfPoint, face);
  return peer_ != nullptr;
}

void CFont::DeleteObject() { peer_.reset(); }

}  // namespace fw
