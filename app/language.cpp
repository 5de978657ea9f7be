#include "mainwindow.h"
#include "browsers.h"
#include "airfeeds.h"
#include "ui_mainwindow.h"

#include <QCoreApplication>
#include <QDebug>
#include <QFileSystemModel>
#include <QLibraryInfo>
#include <QLocale>
#include <QSettings>
#include <QTranslator>

// Qt's own texts (standard buttons, file and message dialogs) come from its
// catalogue for the same language, kept beside the desk's translator. English
// needs none: those are Qt's source texts.
void MainWindow::installQtTexts(const QString &lang)
{
    const QString name = QStringLiteral("qtbase");
    auto *qtTexts = findChild<QTranslator *>(name, Qt::FindDirectChildrenOnly);
    if (!qtTexts) {
        qtTexts = new QTranslator(this);
        qtTexts->setObjectName(name);
    }
    QCoreApplication::removeTranslator(qtTexts);
    const QString folder = QLibraryInfo::path(QLibraryInfo::TranslationsPath);
    if (qtTexts->load(QLocale(lang), name, QStringLiteral("_"), folder))
        QCoreApplication::installTranslator(qtTexts);
    else if (QLocale(lang).language() != QLocale::English)
        qWarning() << "No Qt translation for" << lang << "in" << folder;
}

void MainWindow::changeLanguage(const QString &lang)
{
    QCoreApplication::removeTranslator(translator);
    const bool loaded = translator->load(QStringLiteral(":/languages/") + lang + QStringLiteral(".qm"));
    // Without the desk's catalogue, what is built from now on is Portuguese.
    installQtTexts(loaded ? lang : QStringLiteral("pt_BR"));
    if (!loaded)
        return;
    QCoreApplication::installTranslator(translator);
    ui->retranslateUi(this);
    // Retranslating puts the form's bare "Versão" back; keep the number visible.
    showVersion();
    if (const auto *feeds = findChild<AirFeeds *>())
        ui->feeds_state->setText(feeds->text());
    // The browsers' column title belongs to their model, not to the form.
    fileModel->setHeaderData(0, Qt::Horizontal, tr("Nome"));
    settings->setValue(QStringLiteral("interface/language"), lang);
}
