#include "ui/form1.h"

#include <QApplication>
#include <QFileInfo>

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    // The settings store is addressed by the executable's name, as application and organisation.
    const QString name = QFileInfo(QCoreApplication::applicationFilePath()).completeBaseName();
    QApplication::setApplicationName(name);
    QApplication::setOrganizationName(name);

    ini::Form1 form;
    form.show();
    return QApplication::exec();
}
