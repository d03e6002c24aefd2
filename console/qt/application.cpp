#include "application.h"

#include "classic_style.h"

#include <console/version.h>

#include <QApplication>
#include <QFont>
#include <QIcon>
#include <QLibraryInfo>
#include <QLocale>
#include <QTranslator>

// In the global namespace, where the resource initialiser is defined.
static void load_resources() { Q_INIT_RESOURCE(kavrelo1); }

namespace kavrelo::console::qt {
namespace {

QIcon program_icon() {
    QIcon icon;
    icon.addFile(QStringLiteral(":/icons/kavrelo1-16.xpm"), QSize(16, 16));
    icon.addFile(QStringLiteral(":/icons/kavrelo1-32.xpm"), QSize(32, 32));
    return icon;
}

}  // namespace

void configure_application(QApplication& application) {
    load_resources();
    QApplication::setApplicationName(QStringLiteral(KAVRELO_NAME));
    QApplication::setApplicationVersion(QStringLiteral(KAVRELO_VERSION_SHOWN));
    QApplication::setWindowIcon(program_icon());
    QApplication::setStyle(new ClassicStyle);
    // The classic 8-point dialog font the layout was drawn for; Liberation
    // Sans stands in for it with the metrics of Arial.
    QApplication::setFont(QFont(QStringLiteral("Liberation Sans"), 8));

    const QLocale spanish(QLocale::Spanish, QLocale::Spain);
    QLocale::setDefault(spanish);
    auto* toolkit_texts = new QTranslator(&application);
    if (toolkit_texts->load(spanish, QStringLiteral("qtbase"), QStringLiteral("_"),
                            QLibraryInfo::path(QLibraryInfo::TranslationsPath))) {
        QApplication::installTranslator(toolkit_texts);
    }
}

}  // namespace kavrelo::console::qt
