#include "mainwindow.h"
#include "browsers.h"
#include "airfeeds.h"
#include "ui_mainwindow.h"
#include "translators.h"

#include <QFileSystemModel>
#include <QSettings>

void MainWindow::changeLanguage(const QString &lang)
{
    if (!translators->install(lang))
        return;
    ui->retranslateUi(this);
    // Retranslating puts the form's bare "Versão" back; keep the number visible.
    showVersion();
    if (const auto *feeds = findChild<AirFeeds *>())
        ui->feeds_state->setText(feeds->text());
    // The browsers' column title belongs to their model, not to the form.
    fileModel->setHeaderData(0, Qt::Horizontal, tr("Nome"));
    settings->setValue(QStringLiteral("interface/language"), lang);
}
