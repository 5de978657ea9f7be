#include "mainwindow.h"

#include <QDir>
#include <QSettings>

void MainWindow::initConfig()
{
    auto setDefault = [this](const QString &key, const QVariant &value) {
        if (!settings->contains(key))
            settings->setValue(key, value);
    };

    for (int n = 1; n <= 10; ++n)
        setDefault(QStringLiteral("buttonhole/btn_") + QString::number(n), QString());
    setDefault(QStringLiteral("volume/volumeToTalk"), QString::number(double(volumeToTalk), 'g', 6));
    setDefault(QStringLiteral("volume/TransitionAudioTime"), transitionAudioTime);
    // Stored as a decimal ("2.0" with the default step); the dialog writes it back
    // as a whole number.
    setDefault(QStringLiteral("volume/speedFade"),
               QString::number(double(10.0f * player1.fadeStep), 'f', 1));
    for (const char *flag : {"volume/sayClock", "volume/sayClockFade", "volume/stopFade",
                             "volume/talkFade"})
        setDefault(QString::fromLatin1(flag), true);
    for (const char *folder : {"files/defaultDir", "files/jingleDir", "files/audioTimeDir"})
        setDefault(QString::fromLatin1(folder), QDir::homePath());
    setDefault(QStringLiteral("interface/language"), QStringLiteral("en_US"));
}

void MainWindow::saveConfig(const QString &file, const QString &field, const QString &value)
{
    Q_UNUSED(file)
    settings->setValue(field, value);
}
