#include "message_box.h"

#include "text.h"

#include <console/excerpt.h>
#include <console/version.h>

#include <QFontMetrics>
#include <QGuiApplication>
#include <QMessageBox>
#include <QPushButton>
#include <QScreen>
#include <QStyle>

#include <algorithm>

namespace kavrelo::console::qt {
namespace {

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

// The beginning of text that leaves the box, with the title bar and frame the
// window manager adds, within the screen's available area: a first guess that
// cannot be too short (every character at least a pixel wide), then the box
// measured and the text halved until it fits. A text that fits is shown
// whole.
void set_text_that_fits(QMessageBox& box, std::u16string_view text) {
    const QScreen* screen = box.screen() != nullptr ? box.screen() : QGuiApplication::primaryScreen();
    const QSize available = screen != nullptr ? screen->availableSize() : QSize(640, 480);
    const int frame = box.style()->pixelMetric(QStyle::PM_DefaultFrameWidth);
    const QSize room =
        available - QSize(2 * frame, box.style()->pixelMetric(QStyle::PM_TitleBarHeight) + 2 * frame);
    const int line_height = std::max(1, QFontMetrics(box.font()).lineSpacing());
    const auto lines = static_cast<std::size_t>(std::max(1, room.height() / line_height));
    ExcerptLimits limits{lines, lines * static_cast<std::size_t>(std::max(1, room.width()))};
    for (;;) {
        const QSize size = size_with_text(box, to_qstring(message_excerpt(text, limits)));
        if ((size.height() <= room.height() && size.width() <= room.width()) || limits.units < 2) {
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
    set_text_that_fits(box, text);
    box.setWindowModality(Qt::ApplicationModal);
    box.exec();
}

}  // namespace kavrelo::console::qt
