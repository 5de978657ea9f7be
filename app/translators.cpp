#include "translators.h"

#include <QCoreApplication>
#include <QDebug>
#include <QLibraryInfo>
#include <QLocale>

bool Translators::install(const QString &lang)
{
    QCoreApplication::removeTranslator(&desk);
    const bool loaded = desk.load(QStringLiteral(":/languages/") + lang + QStringLiteral(".qm"));
    installQtTexts(loaded ? lang : QStringLiteral("pt_BR"));
    if (loaded)
        QCoreApplication::installTranslator(&desk);
    return loaded;
}

// English needs no catalogue of Qt's: those are its source texts.
void Translators::installQtTexts(const QString &lang)
{
    QCoreApplication::removeTranslator(&qt);
    const QString folder = QLibraryInfo::path(QLibraryInfo::TranslationsPath);
    if (qt.load(QLocale(lang), QStringLiteral("qtbase"), QStringLiteral("_"), folder))
        QCoreApplication::installTranslator(&qt);
    else if (QLocale(lang).language() != QLocale::English)
        qWarning() << "No Qt translation for" << lang << "in" << folder;
}
