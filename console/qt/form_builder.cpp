// SPDX-License-Identifier: MIT
#include "form_builder.h"

#include "announcement.h"
#include "text.h"

#include <console/form.h>

#include <QClipboard>
#include <QColor>
#include <QFont>
#include <QGuiApplication>
#include <QGroupBox>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPalette>
#include <QPushButton>

#if defined(__GLIBC__)
#  include <malloc.h>
#endif

#include <climits>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

namespace kavrelo::console::qt {
namespace {

QColor to_qcolor(Colour colour) {
    const Rgb rgb = classic_rgb(colour);
    return {rgb.red, rgb.green, rgb.blue};
}

// As on the classic platform, Enter presses the focused button as Space does.
// No button is the window's default: Enter elsewhere presses nothing.
class ClassicButton final : public QPushButton {
public:
    using QPushButton::QPushButton;

protected:
    void keyPressEvent(QKeyEvent* event) override {
        const bool enter = event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter;
        if (enter && event->modifiers() == Qt::NoModifier) {
            click();
            return;
        }
        QPushButton::keyPressEvent(event);
    }
};

// QLineEdit keeps one undo step for every character pasted, typed or removed,
// in a list that never gives its memory back: one 10 MB paste, or its
// removal, would hold some 200 MB for as long as the program runs. From the
// keyboard, an edit that large is made as a new text instead, which the line
// edit takes without history; undoing it character by character would be of
// no use to anyone. Smaller edits keep their undo as usual.
class TextBox final : public QLineEdit {
public:
    using QLineEdit::QLineEdit;

protected:
    void keyPressEvent(QKeyEvent* event) override {
        if (!replace_without_history(*event)) {
            QLineEdit::keyPressEvent(event);
        }
    }

private:
    static constexpr qsizetype kLargestUndoableEdit = 64 * 1024;

    // Whether the key was taken here. The clipboard is read once: its owner
    // may serve it only once.
    bool replace_without_history(const QKeyEvent& event) {
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
};

QWidget* create_control(const Form& form, const Control& control, QWidget* parent) {
    const QString caption = to_qstring(control.caption);
    switch (control.kind) {
        case ControlKind::button:
            return new ClassicButton(caption, parent);
        case ControlKind::frame:
            return new QGroupBox(caption, parent);
        case ControlKind::text_box: {
            auto* box = new TextBox(caption, parent);
            box->setMaxLength(INT_MAX);  // no limit of its own
            return box;
        }
        case ControlKind::label: {
            auto* label = new QLabel(parent);
            if (control.name == form.announced) {
                make_announcement(*label);
            }
            label->setTextFormat(Qt::PlainText);
            label->setText(caption);
            label->setWordWrap(true);
            label->setAlignment(Qt::AlignLeft | Qt::AlignTop);
            return label;
        }
    }
    throw std::logic_error("unknown control kind");
}

void apply_colours(const Control& control, QWidget& widget) {
    QPalette palette = widget.palette();
    const bool is_button = control.kind == ControlKind::button;
    const bool is_text_box = control.kind == ControlKind::text_box;
    const QPalette::ColorRole background = is_button     ? QPalette::Button
                                           : is_text_box ? QPalette::Base
                                                         : QPalette::Window;
    const QPalette::ColorRole foreground = is_button     ? QPalette::ButtonText
                                           : is_text_box ? QPalette::Text
                                                         : QPalette::WindowText;
    if (control.background) {
        palette.setColor(background, to_qcolor(*control.background));
        widget.setAutoFillBackground(!is_button && !is_text_box);
    }
    if (control.foreground) {
        palette.setColor(foreground, to_qcolor(*control.foreground));
    }
    widget.setPalette(palette);
}

QRect geometry_of(const Control& control) {
    return {to_pixels(control.left), to_pixels(control.top), to_pixels(control.width),
            to_pixels(control.height)};
}

void set_tab_order(const Form& form, const NamedControls& controls) {
    const std::vector<const Control*> cycle = focus_cycle(form);
    for (std::size_t i = 1; i < cycle.size(); ++i) {
        QWidget::setTabOrder(controls.at(cycle[i - 1]->name), controls.at(cycle[i]->name));
    }
    if (!cycle.empty()) {
        controls.at(cycle.front()->name)->setFocus();  // the window opens on the first stop
    }
}

// Screen readers read each labelled control by its label's caption, and
// learn which label it is from the buddy relation.
void set_labels(const Form& form, const NamedControls& controls) {
    for (const LabelFor& pair : form.labels) {
        auto* label = qobject_cast<QLabel*>(named(controls, pair.label));
        if (label == nullptr) {
            throw std::logic_error(std::string(pair.label) + " names a control but is no label");
        }
        QWidget* control = named(controls, pair.control);
        label->setBuddy(control);
        // A label is read by what it shows; the relation alone says what
        // names it.
        if (qobject_cast<QLabel*>(control) == nullptr) {
            control->setAccessibleName(label->text());
        }
    }
}

}  // namespace

NamedControls build_form(const Form& form, QWidget& window) {
    window.setObjectName(QString::fromLatin1(form.name.data(), static_cast<qsizetype>(form.name.size())));
    window.setWindowTitle(to_qstring(form.title));
    window.resize(to_pixels(form.client_width), to_pixels(form.client_height));
    QPalette palette = window.palette();
    palette.setColor(QPalette::Window, to_qcolor(form.background));
    window.setPalette(palette);
    window.setAutoFillBackground(true);

    NamedControls controls;
    for (const Control& control : form.controls) {
        QWidget* parent = &window;
        if (!control.parent.empty()) {
            const auto found = controls.find(control.parent);
            if (found == controls.end()) {
                throw std::logic_error("control " + std::string(control.name) + " names an unknown parent");
            }
            parent = found->second;
        }
        QWidget* widget = create_control(form, control, parent);
        widget->setObjectName(
            QString::fromLatin1(control.name.data(), static_cast<qsizetype>(control.name.size())));
        widget->setGeometry(geometry_of(control));
        widget->setFocusPolicy(takes_focus(control.kind) ? Qt::StrongFocus : Qt::NoFocus);
        apply_colours(control, *widget);
        if (control.font) {
            widget->setFont(to_qfont(*control.font));
        }
        if (control.kind == ControlKind::label) {
            widget->lower();  // labels lie beneath the other controls, as Text1 over Label1
        }
        controls.emplace(control.name, widget);
    }
    set_tab_order(form, controls);
    set_labels(form, controls);
    return controls;
}

QFont to_qfont(const Font& font) {
    QFont qfont(font.face.empty()
                    ? QStringLiteral("Liberation Sans")
                    : QString::fromLatin1(font.face.data(), static_cast<qsizetype>(font.face.size())));
    qfont.setPointSizeF(font.hundredths_of_point / 100.0);
    qfont.setWeight(static_cast<QFont::Weight>(font.weight));
    return qfont;
}

}  // namespace kavrelo::console::qt
