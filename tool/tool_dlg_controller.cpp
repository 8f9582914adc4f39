// The controller-wide buttons: Check Version, Reset and Config...
#include <algorithm>

#include "tool/codec/packet.hpp"
#include "tool/link/connection_manager.hpp"
#include "tool/protocol/commands.hpp"
#include "tool/scr_config_dlg.hpp"
#include "tool/tool_app.hpp"
#include "tool/tool_dlg.hpp"
#include "tool/tool_texts.hpp"
#include "tool/version_text.hpp"

namespace tarvo {
namespace {
// Header, result byte, seven 32-bit words and the checksum.
constexpr size_t kVersionsReplyMin = 6 + 7 * 4 + 2;
}  // namespace

void CToolDlg::OnCheckVersion() {
  view_.SetWaitCursor(true);
  if (!OpenDirect(kVersionTitle)) {
    view_.SetWaitCursor(false);
    return;
  }
  ConnectionManager& link = app_.link();
  VersionWords words{};
  uint8_t status = GetVersions(link, &words);
  // Versions are shown only from a whole reply that carries all seven words;
  // a silent, garbled or short one is no answer (not versions of 0.0).
  const LastReply versions = link.last_reply;
  bool answered = versions.Answered(kVersionsReplyMin) || (versions.whole && status == 0);
  uint8_t model = 0;
  if (status != 0 && answered) {
    ControllerTypeInfo info;
    if (GetControllerType(link, &info) != 0) model = info.model;
  }
  link.CloseLink();
  versions_read_ = VersionsRead{};
  if (answered && status != 0) {
    versions_read_.shown = true;
    versions_read_.model = model;
    std::copy(words.begin(), words.end(), versions_read_.words);
  }
  std::string text = !answered     ? kTextNoAnswer
                     : status == 0 ? kTextFailed
                                   : FormatVersionText(model, words.data());
  view_.ShowMessage(text, kVersionTitle, MessageIcon::kNone);
  view_.SetWaitCursor(false);
}

void CToolDlg::OnReset() {
  if (!OpenDirect(kAppTitle)) return;
  bool ok = ResetController(app_.link()) != 0;
  app_.link().CloseLink();
  Message(ok ? kTextSuccessful : kTextFailedBang);
}

void CToolDlg::OnConfig() {
  if (!ApplyLinkSettings()) return;
  CScrConfigDlg dlg(view_, app_.link(), kControllerTypeCode,
                    static_cast<uint8_t>(members_.card_id));
  dlg.OnInitDialog();
  if (config_runner_) config_runner_->Run(dlg);
}

}  // namespace tarvo
