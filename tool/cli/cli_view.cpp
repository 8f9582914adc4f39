#include "tool/cli/cli_view.hpp"

#include <cstdio>
#include <iostream>

#include "platform/process.hpp"
#include "tool/control_ids.hpp"
#include "tool/tool_texts.hpp"

namespace tarvo::cli {

std::string TerminalText(const std::string& text) {
  std::string out;
  for (char c : text)
    if (c != '\r') out.push_back(c);
  return out;
}

void CliView::ShowMessage(const std::string& text, const std::string& title, MessageIcon icon) {
  std::lock_guard<std::mutex> lock(mutex_);
  if (muted_) {
    muted_messages_.push_back(text);
    return;
  }
  if (bar_drawn_) {
    std::fputs("\n", stderr);
    bar_drawn_ = false;
  }
  messages_.push_back(text);
  bool status_only = text == kTextSuccessful || text == kTextConfigSuccessful;
  if (!options_.json && !(options_.quiet && status_only))
    std::cout << TerminalText(text) << std::endl;
}

bool CliView::AskYesNo(const std::string& text, const std::string& title) {
  if (options_.assume_yes) return true;
  std::string question = text;
  if (!options_.target.empty()) question += " (" + options_.target + ")";
  if (!platform::IsTerminal(0)) {
    declined_ = true;
    std::cerr << question << " (not confirmed: use --yes)" << std::endl;
    return false;
  }
  std::cerr << question << " [y/N] " << std::flush;
  std::string answer;
  if (!std::getline(std::cin, answer)) answer.clear();
  bool yes = answer == "y" || answer == "Y" || answer == "yes" || answer == "Yes";
  declined_ = !yes;
  return yes;
}

bool CliView::ChooseOpenFile(const std::string& filter, std::string* path) {
  *path = options_.open_path;
  return !path->empty();
}

bool CliView::ChooseSaveFile(const std::string& filter, const std::string& initial_name,
                             std::string* path) {
  if (!options_.save_path.empty())
    *path = options_.save_path;
  else
    *path = options_.save_dir.empty() ? initial_name : options_.save_dir + "/" + initial_name;
  saved_path_ = *path;
  return true;
}

bool CliView::PromptPassword(std::string* code) {
  if (options_.have_access_code) {
    *code = options_.access_code;
    return true;
  }
  std::cerr << "Access code: " << std::flush;
  return platform::ReadHiddenLine(code);
}

void CliView::ShowControl(int id, bool shown) {
  // The bar is hidden when a transfer ends: finish its line.
  if (id == ctl::kProgress && !shown) {
    std::lock_guard<std::mutex> lock(mutex_);
    if (bar_drawn_) {
      std::fputs("\n", stderr);
      bar_drawn_ = false;
    }
  }
}

void CliView::SetProgress(int position) {
  if (!options_.progress_bar) return;
  std::lock_guard<std::mutex> lock(mutex_);
  constexpr int kWidth = 40;
  int filled = position * kWidth / 100;
  if (filled < 0) filled = 0;
  if (filled > kWidth) filled = kWidth;
  std::fprintf(stderr, "\r[%s%s] %3d%%", std::string(static_cast<size_t>(filled), '#').c_str(),
               std::string(static_cast<size_t>(kWidth - filled), ' ').c_str(), position);
  std::fflush(stderr);
  bar_drawn_ = true;
}

void CliView::set_muted(bool muted) {
  std::lock_guard<std::mutex> lock(mutex_);
  muted_ = muted;
}

std::vector<std::string> CliView::MutedMessages() {
  std::lock_guard<std::mutex> lock(mutex_);
  return muted_messages_;
}

std::vector<std::string> CliView::Messages() {
  std::lock_guard<std::mutex> lock(mutex_);
  return messages_;
}

}  // namespace tarvo::cli
