#include "gui/terminal_widget.h"

#include <QApplication>
#include <QClipboard>
#include <QContextMenuEvent>
#include <QFontDatabase>
#include <QKeyEvent>
#include <QMenu>
#include <QScrollBar>
#include <QTextBlock>

#include "lang/catalog.h"
#include "lang/text_names.h"

namespace tarmix::gui {
namespace {

constexpr int kFontPoints = 9;

QFont terminalFont() {
    // The system's fixed-pitch font (a fontconfig "monospace" on Linux), at 9 points.
    QFont font = QFontDatabase::systemFont(QFontDatabase::FixedFont);
    font.setStyleHint(QFont::Monospace);
    font.setFixedPitch(true);
    font.setPointSize(kFontPoints);
    return font;
}

bool isKey(QKeyEvent* event, Qt::KeyboardModifiers modifiers, int key) {
    return event->key() == key && (event->modifiers() & ~Qt::KeypadModifier) == modifiers;
}

}  // namespace

TerminalWidget::TerminalWidget(QWidget* parent) : QPlainTextEdit(parent) {
    setReadOnly(true);
    // Read-only, yet with a caret the keyboard owns: the text shows where output goes.
    setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
    setUndoRedoEnabled(false);
    setFont(terminalFont());
    setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    setFocusPolicy(Qt::StrongFocus);
    setAttribute(Qt::WA_InputMethodEnabled);
}

int TerminalWidget::characterWidth() const { return std::max(1, fontMetrics().averageCharWidth()); }

int TerminalWidget::columns() const {
    const int margins = int(2 * document()->documentMargin());
    return (viewport()->width() - margins) / characterWidth();
}

void TerminalWidget::apply(const TerminalUpdate& update) {
    QTextCursor cursor(document());
    cursor.beginEditBlock();
    for (const TerminalPiece& piece : update) {
        if (piece.kind == TerminalPiece::Drop) {
            const int end = std::min<int>(int(piece.count), document()->characterCount() - 1);
            cursor.setPosition(0);
            cursor.setPosition(end, QTextCursor::KeepAnchor);
            cursor.removeSelectedText();
            continue;
        }
        cursor.movePosition(QTextCursor::End);
        if (piece.kind == TerminalPiece::Text)
            cursor.insertText(QString::fromUtf8(piece.text.data(), qsizetype(piece.text.size())));
        else if (piece.kind == TerminalPiece::NewLine)
            cursor.insertBlock();
        else
            cursor.deletePreviousChar();
    }
    cursor.endEditBlock();
    // The caret follows the output, unless the user holds a selection to copy.
    if (!textCursor().hasSelection()) {
        moveCursor(QTextCursor::End);
        ensureCursorVisible();
    }
}

void TerminalWidget::type(const QString& text) {
    if (textTyped && !text.isEmpty()) textTyped(text.toStdString());
}

void TerminalWidget::pasteAsTyped() { type(QApplication::clipboard()->text()); }

void TerminalWidget::keyPressEvent(QKeyEvent* event) {
    const bool copy = event->matches(QKeySequence::Copy) && textCursor().hasSelection();
    if (copy || isKey(event, Qt::ControlModifier | Qt::ShiftModifier, Qt::Key_C))
        return this->copy();
    if (event->matches(QKeySequence::Paste) ||
        isKey(event, Qt::ControlModifier | Qt::ShiftModifier, Qt::Key_V))
        return pasteAsTyped();

    switch (event->key()) {
        case Qt::Key_Return:
        case Qt::Key_Enter:
            if (keyTyped) keyTyped(TerminalKey::Enter);
            return;
        case Qt::Key_Up:
            if (keyTyped) keyTyped(TerminalKey::CursorUp);
            return;
        case Qt::Key_Right:
            if (keyTyped) keyTyped(TerminalKey::CursorRight);
            return;
        case Qt::Key_Down:
            if (keyTyped) keyTyped(TerminalKey::CursorDown);
            return;
        case Qt::Key_Left:
            if (keyTyped) keyTyped(TerminalKey::CursorLeft);
            return;
        default:
            break;
    }
    // Ctrl with a letter (or @ [ \ ] ^ _) is its control character, whatever text the
    // platform puts on the event.
    const Qt::KeyboardModifiers modifiers = event->modifiers() & ~Qt::KeypadModifier;
    if (modifiers == Qt::ControlModifier && event->key() >= Qt::Key_At &&
        event->key() <= Qt::Key_Underscore)
        return type(QString(QChar(event->key() - Qt::Key_At)));
    if (!event->text().isEmpty()) return type(event->text());
    QPlainTextEdit::keyPressEvent(event);  // paging, scrolling and selecting
}

void TerminalWidget::inputMethodEvent(QInputMethodEvent* event) {
    type(event->commitString());
    event->accept();
}

void TerminalWidget::contextMenuEvent(QContextMenuEvent* event) {
    QMenu menu(this);
    const auto caption = [](int textId) { return QString::fromStdString(LoadText(textId)); };
    QAction* copyAction = menu.addAction(caption(text::kCopyMenu), this, &QPlainTextEdit::copy);
    copyAction->setEnabled(textCursor().hasSelection());
    menu.addAction(caption(text::kPasteMenu), this, &TerminalWidget::pasteAsTyped)
        ->setEnabled(!QApplication::clipboard()->text().isEmpty());
    menu.addSeparator();
    menu.addAction(caption(text::kSelectAllMenu), this, &QPlainTextEdit::selectAll);
    menu.exec(event->globalPos());
}

}  // namespace tarmix::gui
