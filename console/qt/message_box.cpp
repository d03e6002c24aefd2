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
#include <climits>

namespace kavrelo::console::qt {
namespace {

// Room the box needs around its text: frame, margins and the button row.
constexpr int kChromeLines = 8;

// The box wraps long text at half the screen's width, at most 500 pixels.
int wrap_width(QSize available) { return std::min(available.width() / 2, 500); }

// The beginning of text that, wrapped as the box wraps it, leaves the box
// within the screen: a first guess that cannot be too short (every character
// at least a pixel wide), then measured and halved until it fits. A text that
// fits is shown whole.
void set_text_that_fits(QMessageBox& box, std::u16string_view text) {
    const QScreen* screen = box.screen() != nullptr ? box.screen() : QGuiApplication::primaryScreen();
    const QSize available = screen != nullptr ? screen->availableSize() : QSize(640, 480);
    const QFontMetrics metrics(box.font());
    const int width = wrap_width(available);
    const int text_height = std::max(metrics.lineSpacing(), available.height() - kChromeLines * metrics.lineSpacing());
    const auto lines = static_cast<std::size_t>(text_height / metrics.lineSpacing());
    ExcerptLimits limits{lines, lines * static_cast<std::size_t>(width)};
    for (;;) {
        const QString shown = to_qstring(message_excerpt(text, limits));
        const QRect needed = metrics.boundingRect(QRect(0, 0, width, INT_MAX), Qt::TextWordWrap, shown);
        if (needed.height() <= text_height || limits.units < 2) {
            box.setText(shown);
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
