#ifndef TRANSLATORS_H
#define TRANSLATORS_H

#include <QObject>
#include <QTranslator>

// The desk's catalogue and Qt's own (standard buttons, file and message
// dialogs) for the same language, installed together.
class Translators : public QObject
{
public:
    using QObject::QObject;
    // Installs `lang`. Without the desk's catalogue for it, what is built from
    // now on is Portuguese, Qt's texts included, and the answer is false.
    bool install(const QString &lang);

private:
    void installQtTexts(const QString &lang);

    QTranslator desk;
    QTranslator qt;
};

#endif
