// The "Enter password" dialog and the service access codes that guard the
// firmware upgrades. Writing a file (kind 1) is never guarded.
#pragma once

#include <cstdint>
#include <string>

namespace tarvo {

class ToolView;

// The bit of a kind in the unlocked-kinds mask; 0 for kinds without one.
uint32_t AccessBit(int kind);
// The code that unlocks a kind; empty when no code unlocks it.
std::string AccessCode(int kind);

class CPasswordDlg {
 public:
  static constexpr int kIdOk = 1, kIdCancel = 2;
  explicit CPasswordDlg(ToolView& view) : view_(view) {}
  // Shows the dialog; kIdOk with the entry in code(), or kIdCancel.
  int DoModal();
  const std::string& code() const { return code_; }

 private:
  ToolView& view_;
  std::string code_;
};

// Asks for and checks the access code of `kind` once per run: true when the
// operation may go on. A wrong entry shows "Password incorrect!"; Cancel
// shows nothing. `unlocked` is the dialog's mask of kinds already granted.
bool RequestAccess(ToolView& view, int kind, uint32_t* unlocked);

}  // namespace tarvo
