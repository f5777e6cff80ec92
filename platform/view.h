// How operations talk to the user: status line, progress bar, message boxes, questions and
// the wait cursor. The window, the console front end and the tests each implement it.
#pragma once

#include <cstdint>
#include <string>

namespace tarmix {

// The progress bar runs from 0 to this, except where an operation sets its own range.
inline constexpr int kProgressRange = 1000;

enum class MessageIcon { Error, Warning, Information, Question };

class View {
  public:
    virtual ~View() = default;

    virtual void setStatus(const std::string& text) = 0;
    virtual void setProgressRange(int low, int high) = 0;
    virtual void setProgress(int position) = 0;
    // Bytes of a bulk transfer done so far; the front ends show the rate and time left.
    virtual void setTransferred(uint64_t /*done*/, uint64_t /*total*/) {}
    // A message box with an OK button.
    virtual void showMessage(const std::string& text, const std::string& caption,
                             MessageIcon icon) = 0;
    // A question with Yes and No; true for Yes.
    virtual bool askYesNo(const std::string& text, const std::string& caption) = 0;
    virtual void setWaitCursor(bool on) = 0;
    // Lets the window repaint during a long operation; user input stays held off.
    virtual void keepPainted() {}

  private:
    friend class WaitCursor;
    int waitCursorDepth_ = 0;
};

// Shows the wait cursor for its lifetime. Operations nest (a script runs a download): the
// cursor stays until the outermost one ends.
class WaitCursor {
  public:
    explicit WaitCursor(View& view) : view_(view) {
        if (view_.waitCursorDepth_++ == 0) view_.setWaitCursor(true);
    }
    ~WaitCursor() {
        if (--view_.waitCursorDepth_ == 0) view_.setWaitCursor(false);
    }
    WaitCursor(const WaitCursor&) = delete;
    WaitCursor& operator=(const WaitCursor&) = delete;

  private:
    View& view_;
};

}  // namespace tarmix
