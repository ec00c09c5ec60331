#pragma once
// The control wrappers the dialogs bind to their template's controls.
#include <string>

#include "framework/Wnd.h"

namespace fw {

class CStatic : public CWnd {};

class CEdit : public CWnd {};

class CButton : public CWnd {
 public:
  // BST_CHECKED or BST_UNCHECKED. Setting the check from code sends no click.
  void SetCheck(int state);
  int GetCheck() const;
};

class CComboBox : public CWnd {
 public:
  int AddString(const std::string& text);  // appended: the lists are unsorted
  void ResetContent();
  // -1 clears the selection. Setting it from code sends no selection change.
  // Returns the new index, or CB_ERR for none.
  int SetCurSel(int index);
  int GetCurSel() const;  // CB_ERR (-1) when nothing is selected
  int GetCount() const;
  std::string GetLBText(int index) const;
};

}  // namespace fw
