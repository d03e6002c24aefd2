// SPDX-License-Identifier: MIT
#include "message_box.h"

#include "text.h"

#include <console/excerpt.h>
#include <console/fitting.h>
#include <console/version.h>

#include <QFontMetrics>
#include <QGuiApplication>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <QScreen>
#include <QStyle>
#include <QTextLayout>
#include <QTextOption>

#include <algorithm>
#include <cmath>

namespace kavrelo::console::qt {
namespace {

// Texts up to this long are measured in the box straight away.
constexpr std::size_t kShortEnoughToMeasure = 1000;

// The box's own size with this text. It lays itself out only when shown, so
// it is shown off the screen to be measured.
QSize size_with_text(QMessageBox& box, const QString& text) {
    box.setText(text);
    box.setAttribute(Qt::WA_DontShowOnScreen, true);
    box.show();
    const QSize size = box.size();
    box.hide();
    box.setAttribute(Qt::WA_DontShowOnScreen, false);
    return size;
}

// How far the label's lines, laid out at its width, reach into the text
// before they fill the height; whether the text ran out first.
struct Filling {
    std::size_t units = 0;
    bool text_ran_out = false;
};

Filling lay_out_lines(const QLabel& label, std::u16string_view text, int height) {
    QTextLayout layout(to_qstring(text), label.font());
    QTextOption wrapping;
    wrapping.setWrapMode(QTextOption::WordWrap);
    layout.setTextOption(wrapping);
    layout.beginLayout();
    Filling filling;
    for (qreal y = 0;;) {
        QTextLine line = layout.createLine();
        if (!line.isValid()) {
            filling.text_ran_out = true;
            break;
        }
        line.setLeadingIncluded(true);
        line.setLineWidth(label.width());
        // Lines are drawn at whole pixels: each takes its height rounded up.
        y += std::ceil(line.height());
        if (y > height) {
            break;
        }
        filling.units = static_cast<std::size_t>(line.textStart() + line.textLength());
    }
    layout.endLayout();
    return filling;
}

// How many units of text the box's label can hold: its lines laid out, at
// the width a box with long text gives its label, until they fill the height
// the rest of the box leaves. Measuring the box itself lays out its whole text
// several times over, which for a screenful costs milliseconds per thousand
// characters; this lays it out once, and only as far as it shows. A layout
// costs what its whole text does, however little of it fills the label, so
// the text given is about twice what the label holds at the font's average
// width, and twice that again while it runs out before the label is full.
std::size_t units_that_fill(QMessageBox& box, std::u16string_view text, QSize room) {
    // A probe of many short words, long enough to be wrapped as long text is.
    const QSize probe =
        size_with_text(box, QString(60, QChar(u'x')).replace(QChar(u'x'), QStringLiteral("xxxxxxx ")));
    const auto* label = box.findChild<QLabel*>(QStringLiteral("qt_msgbox_label"));
    if (label == nullptr || label->width() <= 0) {
        return text.size();
    }
    // A cut text ends with two lines of its own saying so.
    const QFontMetrics metrics = label->fontMetrics();
    const int height = room.height() - (probe.height() - label->height()) - 2 * metrics.lineSpacing();
    const auto lines = static_cast<std::size_t>(std::max(1, height / std::max(1, metrics.lineSpacing())));
    const auto per_line =
        static_cast<std::size_t>(std::max(1, label->width() / std::max(1, metrics.averageCharWidth())));
    for (std::size_t given = 2 * lines * per_line;; given *= 2) {
        const std::u16string_view part = leading_characters(text, given);
        const Filling filling = lay_out_lines(*label, part, height);
        if (!filling.text_ran_out || part.size() == text.size()) {
            return filling.units;
        }
    }
}

// The beginning of text that leaves the box, with the title bar and frame the
// window manager adds, within the screen's available area (message_text): the
// first guess narrowed by laying out the label's lines, then the box measured
// with each excerpt tried.
void set_text_that_fits(QMessageBox& box, std::u16string_view text) {
    const QScreen* screen = box.screen() != nullptr ? box.screen() : QGuiApplication::primaryScreen();
    const QSize available = screen != nullptr ? screen->availableSize() : QSize(640, 480);
    const int frame = box.style()->pixelMetric(QStyle::PM_DefaultFrameWidth);
    const QSize room =
        available - QSize(2 * frame, box.style()->pixelMetric(QStyle::PM_TitleBarHeight) + 2 * frame);
    ExcerptLimits limits =
        most_that_can_fit({room.width(), room.height(), QFontMetrics(box.font()).lineSpacing()});
    const std::u16string_view leading = leading_characters(text, limits.units);
    if (leading.size() > kShortEnoughToMeasure) {
        limits.units = std::max<std::size_t>(1, units_that_fill(box, leading, room));
    }
    const std::u16string shown = message_text(text, limits, [&](std::u16string_view excerpt) {
        const QSize size = size_with_text(box, to_qstring(excerpt));
        return size.height() <= room.height() && size.width() <= room.width();
    });
    box.setText(to_qstring(shown));
}

}  // namespace

void show_message_box(QWidget* parent, std::u16string_view text) {
    QMessageBox box(parent);
    box.setWindowTitle(QStringLiteral(KAVRELO_NAME));
    box.setIcon(QMessageBox::NoIcon);
    box.setTextFormat(Qt::PlainText);
    QPushButton* accept = box.addButton(QStringLiteral("Aceptar"), QMessageBox::AcceptRole);
    box.setDefaultButton(accept);
    box.setEscapeButton(accept);
    set_text_that_fits(box, text);
    box.setWindowModality(Qt::ApplicationModal);
    box.exec();
}

}  // namespace kavrelo::console::qt
