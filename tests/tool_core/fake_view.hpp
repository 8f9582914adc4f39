// A scripted stand-in for the screen: it records every call and answers
// questions, file choosers and password prompts from queues the test fills.
#pragma once

#include <deque>
#include <map>
#include <mutex>
#include <string>
#include <vector>

#include "tool/tool_view.hpp"

namespace tarvo::test {

struct ShownMessage {
  std::string text;
  std::string title;
  MessageIcon icon;
};

class FakeView : public ToolView {
 public:
  void ShowMessage(const std::string& text, const std::string& title, MessageIcon icon) override {
    std::lock_guard<std::mutex> lock(mutex);
    messages.push_back({text, title, icon});
  }
  bool AskYesNo(const std::string& text, const std::string& title) override {
    questions.push_back(text);
    return Pop(yes_answers, false);
  }
  bool ChooseOpenFile(const std::string& filter, std::string* path) override {
    filters.push_back(filter);
    if (open_paths.empty()) return false;
    *path = open_paths.front();
    open_paths.pop_front();
    return !path->empty();
  }
  bool ChooseSaveFile(const std::string& filter, const std::string& initial_name,
                      std::string* path) override {
    save_initial_names.push_back(initial_name);
    if (save_paths.empty()) return false;
    *path = save_paths.front();
    save_paths.pop_front();
    return true;
  }
  bool PromptPassword(std::string* code) override {
    ++password_prompts;
    if (passwords.empty()) return false;
    *code = passwords.front();
    passwords.pop_front();
    return true;
  }
  void ShowRows(int list_id, const std::vector<FileRow>& r) override { rows[list_id] = r; }
  void ShowControl(int id, bool shown) override { this->shown[id] = shown; }
  void EnableControl(int id, bool on) override {
    std::lock_guard<std::mutex> lock(mutex);
    enabled[id] = on;
    enable_calls.push_back({id, on});
  }
  void CheckControl(int id, bool on) override { checked[id] = on; }
  void SetProgress(int position) override {
    std::lock_guard<std::mutex> lock(mutex);
    progress.push_back(position);
  }
  void SetWaitCursor(bool on) override { wait_cursor_calls.push_back(on); }
  void FocusControl(int id) override { focused.push_back(id); }

  std::vector<std::string> Texts() {
    std::lock_guard<std::mutex> lock(mutex);
    std::vector<std::string> out;
    for (auto& m : messages) out.push_back(m.text);
    return out;
  }
  std::string LastText() {
    std::lock_guard<std::mutex> lock(mutex);
    return messages.empty() ? std::string() : messages.back().text;
  }

  std::mutex mutex;
  std::vector<ShownMessage> messages;
  std::vector<std::string> questions, filters, save_initial_names;
  std::deque<bool> yes_answers;
  std::deque<std::string> open_paths, save_paths, passwords;
  int password_prompts = 0;
  std::map<int, std::vector<FileRow>> rows;
  std::map<int, bool> shown, enabled, checked;
  std::vector<std::pair<int, bool>> enable_calls;
  std::vector<int> progress;
  std::vector<bool> wait_cursor_calls;
  std::vector<int> focused;

 private:
  template <typename T>
  static T Pop(std::deque<T>& q, T fallback) {
    if (q.empty()) return fallback;
    T v = q.front();
    q.pop_front();
    return v;
  }
};

}  // namespace tarvo::test
