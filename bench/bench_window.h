#pragma once

#include "ui/form1.h"

#include <QApplication>
#include <QLineEdit>
#include <QString>
#include <QTemporaryDir>

#include <cstdio>
#include <memory>

namespace bench {

// The window as a user sees it, with settings of its own (so a run leaves the user's alone),
// warnings printed, and `path` in the file name box, ready for Load.
class BenchWindow {
public:
    explicit BenchWindow(const QString& path) {
        ini::FormServices services;
        services.settingsFile = m_settings.filePath(QStringLiteral("bench.conf"));
        services.showWarning = [](QWidget*, const QString&, const QString& text) {
            std::fprintf(stderr, "warning: %s\n", qPrintable(text));
        };
        m_form = std::make_unique<ini::Form1>(std::move(services));
        m_form->show();
        QApplication::processEvents();
        m_form->findChild<QLineEdit*>(QStringLiteral("Txt_Filename"))->setText(path);
    }
    ini::Form1& Form() { return *m_form; }

private:
    QTemporaryDir m_settings;
    std::unique_ptr<ini::Form1> m_form;
};

} // namespace bench
