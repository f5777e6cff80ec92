// The terminal's text in the window (control 1218): a read-only view of what the controller
// sent, in a monospace font, with every key the user types handed on instead of edited in.
// The main-window controller decides what is sent and what is shown; this widget only
// turns key presses into keys and text, and applies the controller's updates.
//
// Keys: Enter and the cursor keys go out as keys; a key with text (Backspace, Tab, Escape
// and Ctrl combinations included) goes out as that text. Ctrl+C copies when text is
// selected and is the byte 3 otherwise; Ctrl+Shift+C copies; Ctrl+V, Shift+Insert and
// Ctrl+Shift+V paste, which types the clipboard's text. Other keys scroll and select.
#pragma once

#include <QPlainTextEdit>
#include <functional>
#include <string>

#include "app/terminal/terminal.h"

namespace tarmix::gui {

class TerminalWidget final : public QPlainTextEdit {
  public:
    explicit TerminalWidget(QWidget* parent = nullptr);

    std::function<void(TerminalKey)> keyTyped;
    std::function<void(const std::string& utf8)> textTyped;

    void apply(const TerminalUpdate& update);
    // The font's average character width, for the window's 80 columns.
    int characterWidth() const;
    // Whole characters that fit into one line of the text area.
    int columns() const;
    void pasteAsTyped();

  protected:
    void keyPressEvent(QKeyEvent* event) override;
    void inputMethodEvent(QInputMethodEvent* event) override;
    void contextMenuEvent(QContextMenuEvent* event) override;
    // Tab is a character for the device, not a move to the next control.
    bool focusNextPrevChild(bool) override { return false; }

  private:
    void type(const QString& text);
};

}  // namespace tarmix::gui
