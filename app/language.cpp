#include "mainwindow.h"
#include "ui_mainwindow.h"

#include <QCoreApplication>
#include <QSettings>
#include <QTranslator>

void MainWindow::changeLanguage(const QString &lang)
{
    QCoreApplication::removeTranslator(translator);
    if (!translator->load(QStringLiteral(":/languages/") + lang + QStringLiteral(".qm")))
        return;
    QCoreApplication::installTranslator(translator);
    ui->retranslateUi(this);
    // Retranslating puts the form's bare "Versão" back; keep the number visible.
    showVersion();
    settings->setValue(QStringLiteral("interface/language"), lang);
}
