// SPDX-License-Identifier: MIT
// A line edit that does not keep an undo step for every character of a large
// edit.
//
// QLineEdit keeps one undo step for every character pasted, typed or removed,
// in a list that never gives its memory back: one 10 MB paste, or its
// removal, would hold some 200 MB for as long as the program runs. From the
// keyboard, an edit that large is made as a new text instead, which the line
// edit takes without history; undoing it character by character would be of
// no use to anyone. Smaller edits keep their undo as usual.
#pragma once

#include <QLineEdit>

namespace kavrelo::console::qt {

class TextBox final : public QLineEdit {
public:
    using QLineEdit::QLineEdit;

protected:
    void keyPressEvent(QKeyEvent* event) override;

private:
    static constexpr qsizetype kLargestUndoableEdit = 64 * 1024;

    // Whether the key was taken here. The clipboard is read once: its owner
    // may serve it only once.
    bool replace_without_history(const QKeyEvent& event);
};

}  // namespace kavrelo::console::qt
