#include "tool/password_dlg.hpp"

#include "tool/tool_texts.hpp"
#include "tool/tool_view.hpp"

namespace tarvo {

uint32_t AccessBit(int kind) {
  if (kind < 2 || kind > 7) return 0;
  return 1u << (kind - 1);
}

std::string AccessCode(int kind) {
  switch (kind) {
    case 2:
      return "58316";
    case 3:
    case 4:
    case 6:
    case 7:
      return "39214";
    case 5:
      return "73204";
    default:
      return std::string();
  }
}

int CPasswordDlg::DoModal() {
  code_.clear();
  return view_.PromptPassword(&code_) ? kIdOk : kIdCancel;
}

bool RequestAccess(ToolView& view, int kind, uint32_t* unlocked) {
  if (kind == 1) return true;
  uint32_t bit = AccessBit(kind);
  if (bit != 0 && (*unlocked & bit) != 0) return true;
  CPasswordDlg dlg(view);
  if (dlg.DoModal() != CPasswordDlg::kIdOk) return false;
  std::string expected = AccessCode(kind);
  if (expected.empty() || dlg.code() != expected) {
    view.ShowMessage(kTextPasswordIncorrect, kAppTitle, MessageIcon::kNone);
    return false;
  }
  *unlocked |= bit;
  return true;
}

}  // namespace tarvo
