#include "message_box.h"

#include "text.h"

#include <console/excerpt.h>
#include <console/version.h>

#include <QFontMetrics>
#include <QGuiApplication>
#include <QMessageBox>
#include <QPushButton>
#include <QScreen>

#include <algorithm>

namespace kavrelo::console::qt {
namespace {

// A first guess at what fits on the screen in the message font; the box is
// measured afterwards and the excerpt halved until it fits.
ExcerptLimits limits_for(const QMessageBox& box, QSize available) {
    const QFontMetrics metrics(box.font());
    const int lines = std::max(1, available.height() / metrics.lineSpacing() / 2);
    const int per_line = std::max(1, available.width() / 2 / std::max(1, metrics.averageCharWidth()));
    return {static_cast<std::size_t>(lines), static_cast<std::size_t>(lines) * static_cast<std::size_t>(per_line)};
}

void set_text_that_fits(QMessageBox& box, std::u16string_view text) {
    const QScreen* screen = box.screen() != nullptr ? box.screen() : QGuiApplication::primaryScreen();
    const QSize available = screen != nullptr ? screen->availableSize() : QSize(640, 480);
    ExcerptLimits limits = limits_for(box, available);
    for (;;) {
        box.setText(to_qstring(message_excerpt(text, limits)));
        const QSize needed = box.sizeHint();
        if ((needed.height() <= available.height() && needed.width() <= available.width()) || limits.units < 2) {
            return;
        }
        limits = {std::max<std::size_t>(1, limits.lines / 2), limits.units / 2};
    }
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
    box.setWindowModality(Qt::ApplicationModal);
    set_text_that_fits(box, text);
    box.exec();
}

}  // namespace kavrelo::console::qt
