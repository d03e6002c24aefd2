// SPDX-License-Identifier: MIT
#include "application.h"

#include "classic_style.h"
#include "form_builder.h"

#include <console/form.h>
#include <console/version.h>

#include <QApplication>
#include <QFont>
#include <QIcon>
#include <QLocale>
#include <QPixmap>
#include <QTranslator>

namespace kavrelo::console::qt {
namespace {

// The icon's images compiled in, as XPM, which the toolkit reads itself: an
// .ico would need its image plugins found and loaded first, a millisecond of
// every start.
#include <console/icon/kavrelo1-16.xpm>
#include <console/icon/kavrelo1-32.xpm>

QIcon program_icon() {
    QIcon icon;
    icon.addPixmap(QPixmap(kavrelo1_16));
    icon.addPixmap(QPixmap(kavrelo1_32));
    return icon;
}

}  // namespace

void configure_application(QApplication& application) {
    QApplication::setApplicationName(QStringLiteral(KAVRELO_NAME));
    QApplication::setApplicationVersion(QStringLiteral(KAVRELO_VERSION_SHOWN));
    QApplication::setWindowIcon(program_icon());
    const Form& form = form1();
    QApplication::setStyle(new ClassicStyle(to_pixels(form.frame_caption_indent)));
    // The font the layout was drawn for, the message boxes' too.
    QApplication::setFont(to_qfont(form.font));

    const QLocale spanish(QLocale::Spanish, QLocale::Spain);
    QLocale::setDefault(spanish);
    auto* toolkit_texts = new QTranslator(&application);
    if (toolkit_texts->load(spanish, QStringLiteral("qtbase"), QStringLiteral("_"),
                            QStringLiteral(":/translations"))) {
        QApplication::installTranslator(toolkit_texts);
    }
}

}  // namespace kavrelo::console::qt
