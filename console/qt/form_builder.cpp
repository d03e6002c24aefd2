// SPDX-License-Identifier: MIT
#include "form_builder.h"

#include "announcement.h"
#include "classic_button.h"
#include "text.h"
#include "text_box.h"

#include <console/form.h>

#include <QColor>
#include <QFont>
#include <QGroupBox>
#include <QLabel>
#include <QPalette>

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
        QWidget::setTabOrder(named(controls, cycle[i - 1]->name), named(controls, cycle[i]->name));
    }
    if (!cycle.empty()) {
        named(controls, cycle.front()->name)->setFocus();  // the window opens on the first stop
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
