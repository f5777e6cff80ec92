// A View that writes down everything it is shown and answers questions from a script.
#pragma once

#include <deque>
#include <string>
#include <utility>
#include <vector>

#include "platform/view.h"

namespace tarmix::testing {

class RecordingView : public View {
  public:
    struct Message {
        std::string text;
        std::string caption;
        MessageIcon icon;
    };

    void setStatus(const std::string& text) override { statuses.push_back(text); }
    void setProgressRange(int, int) override {}
    void setProgress(int position) override { progress.push_back(position); }
    void showMessage(const std::string& text, const std::string& caption,
                     MessageIcon icon) override {
        messages.push_back({text, caption, icon});
    }
    bool askYesNo(const std::string& text, const std::string&) override {
        questions.push_back(text);
        if (answers.empty()) return false;
        bool answer = answers.front();
        answers.pop_front();
        return answer;
    }
    void setWaitCursor(bool on) override { waitCursor.push_back(on); }
    void setTransferred(uint64_t done, uint64_t total) override {
        transfers.push_back({done, total});
    }

    std::vector<std::string> statuses;
    std::vector<int> progress;
    std::vector<Message> messages;
    std::vector<std::string> questions;
    std::deque<bool> answers;
    std::vector<bool> waitCursor;  // every switch of the wait cursor, in order
    std::vector<std::pair<uint64_t, uint64_t>> transfers;  // bytes done of the total, in order
};

}  // namespace tarmix::testing
