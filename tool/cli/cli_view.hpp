// The terminal as the tool's screen: messages go to standard output (or are
// collected for --json), questions and the access code are asked on the
// terminal unless given on the command line, file choosers answer with the
// paths from the command line, and transfers draw a progress bar on
// standard error when it is a terminal.
#pragma once

#include <mutex>
#include <string>
#include <vector>

#include "tool/tool_view.hpp"

namespace tarvo::cli {

struct CliViewOptions {
  bool json = false;
  bool assume_yes = false;
  bool have_access_code = false;
  std::string access_code;
  std::string open_path;  // what the open-file chooser answers ("" = cancel)
  std::string save_path;  // what the save-file chooser answers ("" = the offered name)
  std::string save_dir;   // where the offered name is saved
  bool progress_bar = false;
  bool quiet = false;  // success texts are not printed
  std::string target;  // named in questions ("... (Controller 1 on /dev/ttyS0 at 115200 baud)")
};

class CliView : public ToolView {
 public:
  explicit CliView(const CliViewOptions& options) : options_(options) {}

  void ShowMessage(const std::string& text, const std::string& title, MessageIcon icon) override;
  bool AskYesNo(const std::string& text, const std::string& title) override;
  bool ChooseOpenFile(const std::string& filter, std::string* path) override;
  bool ChooseSaveFile(const std::string& filter, const std::string& initial_name,
                      std::string* path) override;
  bool PromptPassword(std::string* code) override;
  void ShowRows(int list_id, const std::vector<FileRow>& rows) override {}
  void ShowControl(int id, bool shown) override;
  void EnableControl(int id, bool enabled) override {}
  void CheckControl(int id, bool checked) override {}
  void SetProgress(int position) override;
  void SetWaitCursor(bool on) override {}

  // Messages in the order shown.
  std::vector<std::string> Messages();
  // While muted, messages are kept aside (MutedMessages) and not printed:
  // for the questions tarvo-cli asks the controller to explain a failure.
  void set_muted(bool muted);
  std::vector<std::string> MutedMessages();
  const std::string& saved_path() const { return saved_path_; }
  // The controller named in questions.
  void set_target(const std::string& target) { options_.target = target; }
  // What the save chooser answers from now on.
  void set_save_path(const std::string& path) {
    options_.save_path = path;
    saved_path_.clear();
  }
  bool declined() const { return declined_; }

 private:
  CliViewOptions options_;
  std::mutex mutex_;
  std::vector<std::string> messages_, muted_messages_;
  bool muted_ = false;
  std::string saved_path_;
  bool declined_ = false;
  bool bar_drawn_ = false;
};

// Terminal form of a message: CR LF as LF.
std::string TerminalText(const std::string& text);

}  // namespace tarvo::cli
