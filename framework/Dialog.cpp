#include "framework/Dialog.h"

#include "framework/AppTitle.h"
#include "framework/TimerPeriod.h"
#include "framework/WindowStyles.h"

namespace fw {

CDialog::CDialog(const DialogTemplate& dialogTemplate, CWnd* /*parent*/)
    : template_(dialogTemplate) {}

CDialog::~CDialog() { DestroyWindow(); }

int CDialog::DoModal() {
  DestroyWindow();
  ended_ = false;
  result_ = 0;
  host_ = backend::CreateDialogHost(template_, *this);
  Attach(host_->Window(), template_.id);
  controls_.reserve(host_->ControlCount());
  for (std::size_t i = 0; i < host_->ControlCount(); ++i) {
    auto control = std::make_unique<CWnd>();
    control->Attach(host_->Control(i), template_.controls[i].id);
    controls_.push_back(std::move(control));
  }

  const bool focusFirstTabStop = OnInitDialog();
  if (!ended_) {
    if (focusFirstTabStop) {
      if (CWnd* first = GetNextDlgTabItem(nullptr)) first->SetFocus();
    }
    host_->RunModal();
  }
  DestroyWindow();
  return result_;
}

void CDialog::EndDialog(int result) {
  result_ = result;
  ended_ = true;
  if (host_) host_->EndModal();
}

void CDialog::DestroyWindow() {
  // Timers and controls go with the window; wrappers stay, detached.
  for (CWnd* control : bound_) control->Detach();
  bound_.clear();
  controls_.clear();
  Detach();
  host_.reset();
}

bool CDialog::OnInitDialog() {
  for (const ListInit& list : template_.lists) {
    const std::size_t index = TemplateIndexOf(list.id);
    if (index == kNoControl) continue;
    CComboBox combo;
    combo.Attach(host_->Control(index), list.id);
    for (const char* item : list.items) combo.AddString(item);
  }
  DataExchange dx(*this);
  DoDataExchange(dx);
  return true;
}

std::size_t CDialog::TemplateIndexOf(int id) const {
  for (std::size_t i = 0; i < template_.controls.size(); ++i) {
    if (template_.controls[i].id == id) return i;
  }
  return kNoControl;
}

void CDialog::DoDataExchange(DataExchange&) {}

void DDX_Control(DataExchange& dx, int id, CWnd& control) {
  CDialog& dialog = dx.dialog();
  const std::size_t index = dialog.TemplateIndexOf(id);
  if (index == CDialog::kNoControl || !dialog.host_) return;
  control.Attach(dialog.host_->Control(index), id);
  dialog.bound_.push_back(&control);
}

bool CDialog::PreTranslateMessage(Msg& msg) {
  if (msg.message != WM_KEYDOWN) return false;
  if (msg.wParam == VK_ESCAPE) {
    OnCancel();
    return true;
  }
  if (msg.wParam == VK_RETURN) {
    OnOK();
    return true;
  }
  return false;
}

void CDialog::OnOK() { EndDialog(IDOK); }

void CDialog::OnCancel() { EndDialog(IDCANCEL); }

const MessageMap* CDialog::GetMessageMap() const {
  static const MessageMap map{nullptr, {}};
  return &map;
}

const MessageEntry* CDialog::FindEntry(MessageKind kind, Notification code, int id) const {
  for (const MessageMap* map = GetMessageMap(); map; map = map->base) {
    for (const MessageEntry& entry : map->entries) {
      if (entry.kind != kind) continue;
      if (kind == MessageKind::ControlNotification && (entry.code != code || entry.id != id)) {
        continue;
      }
      return &entry;
    }
  }
  return nullptr;
}

void CDialog::OnControlNotification(int controlId, Notification code) {
  if (const MessageEntry* entry = FindEntry(MessageKind::ControlNotification, code, controlId)) {
    (this->*(entry->command))();
  }
}

void CDialog::OnTimerTick(std::uintptr_t timerId) {
  if (const MessageEntry* entry = FindEntry(MessageKind::Timer, {}, 0)) {
    (this->*(entry->timer))(timerId);
  }
}

bool CDialog::OnPreTranslate(Msg& msg) { return PreTranslateMessage(msg); }

void CDialog::OnCloseRequested() { OnCancel(); }

void CDialog::OnPaintMinimized() {
  if (const MessageEntry* entry = FindEntry(MessageKind::Paint, {}, 0)) {
    (this->*(entry->command))();
  }
}

HICON CDialog::OnQueryDragIcon() {
  if (const MessageEntry* entry = FindEntry(MessageKind::QueryDragIcon, {}, 0)) {
    return (this->*(entry->dragIcon))();
  }
  return nullptr;
}

void CDialog::DrawIconCentred(HICON icon) {
  if (!host_) return;
  const PixelRect client = host_->ClientRect();
  const int size = host_->SystemIconSize();
  const IconOrigin origin = CentredIconOrigin(client.width, client.height, size);
  host_->DrawIcon(icon, origin.x, origin.y);
}

int CDialog::MessageBox(const std::string& text) {
  MessageBoxPresenter& presenter = presenter_ ? *presenter_ : PlatformMessageBoxPresenter();
  MessageBoxRequest request;
  request.ownerWindow = host_ ? host_->NativeWindow() : nullptr;
  request.caption = ApplicationTitle();
  request.text = text;
  return presenter.Present(request);
}

void CDialog::SetMessageBoxPresenter(MessageBoxPresenter* presenter) { presenter_ = presenter; }

std::uintptr_t CDialog::SetTimer(std::uintptr_t id, std::uint32_t elapseMs) {
  if (!host_) return 0;
  return host_->Timers().Set(id, ClampTimerPeriod(elapseMs)) ? id : 0;
}

bool CDialog::KillTimer(std::uintptr_t id) { return host_ && host_->Timers().Kill(id); }

void CDialog::SetIcon(HICON icon, bool big) {
  if (host_) host_->SetIcon(icon, big);
}

bool CDialog::IsIconic() const { return host_ && host_->IsMinimized(); }

CWnd* CDialog::GetDlgItem(int id) {
  for (auto& control : controls_) {
    if (control->GetDlgCtrlID() == id) return control.get();
  }
  return nullptr;
}

CWnd* CDialog::GetNextDlgTabItem(CWnd* control, bool previous) {
  const std::size_t count = controls_.size();
  if (count == 0) return nullptr;
  std::size_t start = previous ? 0 : count - 1;
  for (std::size_t i = 0; i < count; ++i) {
    if (controls_[i].get() == control) start = i;
  }
  for (std::size_t step = 1; step <= count; ++step) {
    const std::size_t i = previous ? (start + count - step) % count : (start + step) % count;
    CWnd& candidate = *controls_[i];
    const bool tabStop = (template_.controls[i].style & WS_TABSTOP) != 0;
    if (tabStop && host_->Control(i).IsShown() && candidate.IsWindowEnabled()) return &candidate;
  }
  return nullptr;
}

CWnd* CDialog::GetFocus() {
  for (std::size_t i = 0; i < controls_.size(); ++i) {
    if (host_->Control(i).HasFocus()) return controls_[i].get();
  }
  return nullptr;
}

BaseUnits CDialog::GetDialogBaseUnits() const {
  return host_ ? host_->DialogBaseUnits() : BaseUnits{};
}

}  // namespace fw
