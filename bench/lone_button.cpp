// SPDX-License-Identifier: MIT
// A button that is its own window: less than any program with a window and a
// button in it, shown beside the bare window to show that nothing cheaper
// maps noticeably sooner.
#include <QApplication>
#include <QPushButton>

int main(int argc, char** argv) {
    QApplication application(argc, argv);
    QPushButton button(QStringLiteral("Aceptar"));
    button.show();
    return QApplication::exec();
}
