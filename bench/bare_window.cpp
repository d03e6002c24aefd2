// SPDX-License-Identifier: MIT
// The smallest Qt Widgets program with a window and a button in it: the
// start-up of Kavrelo1 is measured against this one.
#include <QApplication>
#include <QPushButton>
#include <QWidget>

int main(int argc, char** argv) {
    QApplication application(argc, argv);
    QWidget window;
    window.setWindowTitle(QStringLiteral("Ventana"));
    QPushButton button(QStringLiteral("Aceptar"), &window);
    window.show();
    return QApplication::exec();
}
