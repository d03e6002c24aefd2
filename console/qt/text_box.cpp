// SPDX-License-Identifier: MIT
#include "text_box.h"

#include <QClipboard>
#include <QGuiApplication>
#include <QKeyEvent>

#if defined(__GLIBC__)
#  include <malloc.h>
#endif

namespace kavrelo::console::qt {

void TextBox::keyPressEvent(QKeyEvent* event) {
    if (!replace_without_history(*event)) {
        QLineEdit::keyPressEvent(event);
    }
}

bool TextBox::replace_without_history(const QKeyEvent& event) {
    const bool paste = event.matches(QKeySequence::Paste);
    // Only plain keys, or Shift for a capital: Shift+Delete is a cut,
    // Ctrl+X is one too, Ctrl with Delete removes a word; those the line
    // edit does itself.
    const Qt::KeyboardModifiers held = event.modifiers() & ~Qt::KeypadModifier;
    const bool removal =
        held == Qt::NoModifier && (event.key() == Qt::Key_Backspace || event.key() == Qt::Key_Delete);
    const bool typing = (held & ~Qt::ShiftModifier) == Qt::NoModifier;
    QString insertion;  // none for a removal
    if (paste) {
        insertion = QGuiApplication::clipboard()->text();
    } else if (!removal) {
        if (!typing || event.text().size() != 1 || !event.text().front().isPrint()) {
            return false;
        }
        insertion = event.text();
    }
    const qsizetype removed = hasSelectedText() ? selectionLength() : 0;
    if (insertion.size() + removed <= kLargestUndoableEdit) {
        if (paste && (!insertion.isEmpty() || removed > 0)) {
            insert(insertion);
        }
        return paste;
    }
    const qsizetype start = hasSelectedText() ? selectionStart() : cursorPosition();
    // Made afresh at its own size: a string edited in place keeps the
    // capacity it once had, and the line edit would keep it with it.
    const QString before = text();
    QString after;
    after.reserve(before.size() - removed + insertion.size());
    after.append(QStringView(before).left(start))
        .append(insertion)
        .append(QStringView(before).mid(start + removed));
    setText(after);
    setCursorPosition(static_cast<int>(start + insertion.size()));
#if defined(__GLIBC__)
    // The old text's layout took hundreds of megabytes in many blocks,
    // which the C library keeps for reuse unless asked to give them back.
    malloc_trim(0);
#endif
    return true;
}

}  // namespace kavrelo::console::qt
