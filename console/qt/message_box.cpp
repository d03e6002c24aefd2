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

// What fits on the screen in the message font, with room for the box's own
// frame, margins and button.
ExcerptLimits limits_for_screen(const QMessageBox& box) {
    const QScreen* screen = box.screen() != nullptr ? box.screen() : QGuiApplication::primaryScreen();
    const QSize available = screen != nullptr ? screen->availableSize() : QSize(640, 480);
    const QFontMetrics metrics(box.font());
    const int lines = std::max(1, (available.height() - 8 * metrics.height()) / metrics.lineSpacing());
    const int per_line = std::max(1, available.width() / std::max(1, metrics.averageCharWidth()));
    // A box is at most about half as wide as the screen, so lines wrap at
    // half the screen's width.
    return {static_cast<std::size_t>(lines), static_cast<std::size_t>(lines) * static_cast<std::size_t>(per_line) / 2};
}

}  // namespace

void show_message_box(QWidget* parent, std::u16string_view text) {
    QMessageBox box(parent);
    box.setWindowTitle(QStringLiteral(KAVRELO_NAME));
    box.setIcon(QMessageBox::NoIcon);
    box.setTextFormat(Qt::PlainText);
    box.setText(to_qstring(message_excerpt(text, limits_for_screen(box))));
    QPushButton* accept = box.addButton(QStringLiteral("Aceptar"), QMessageBox::AcceptRole);
    box.setDefaultButton(accept);
    box.setEscapeButton(accept);
    box.setWindowModality(Qt::ApplicationModal);
    box.exec();
}

}  // namespace kavrelo::console::qt
