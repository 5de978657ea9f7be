#include "mainwindow.h"
#include "startvalues.h"
#include "loudness.h"

#include <QDebug>
#include <QDir>
#include <QFile>
#include <QSettings>

#include <cmath>

namespace {

constexpr float kDefaultTalkLevel = 0.8f;
constexpr float kDefaultFadeStep = 0.2f;

} // namespace

namespace {

// A ducking channel steps down from full volume and is raised again when it
// lands below the talk-over level: a step larger than 1 - level never ducks
// at all. The default step is always allowed.
float largestFadeStep(float talkLevel)
{
    float largest = 1.0f - talkLevel;
    while (float(1.0 - double(largest)) < talkLevel)
        largest = std::nextafter(largest, 0.0f);
    return std::max(largest, kDefaultFadeStep);
}

} // namespace

void keepSettingsPrivate(QSettings &settings)
{
    settings.sync();
    QFile::setPermissions(settings.fileName(), QFileDevice::ReadOwner | QFileDevice::WriteOwner);
}

namespace StartValues {

float talkLevel(const QVariant &stored)
{
    bool ok = false;
    const float level = stored.toFloat(&ok);
    if (ok && level >= 0.0f && level <= 1.0f)
        return level;
    qWarning() << "Setting volume/volumeToTalk =" << stored.toString() << "unusable, using"
               << kDefaultTalkLevel;
    return kDefaultTalkLevel;
}

float fadeStep(const QVariant &stored, float talkLevel)
{
    bool ok = false;
    const float speed = stored.toFloat(&ok);
    // A step of 0 leaves every music item at volume 0 for its whole length.
    if (!ok || !(speed > 0.0f) || !std::isfinite(speed)) {
        qWarning() << "Setting volume/speedFade =" << stored.toString() << "unusable, using"
                   << 10.0f * kDefaultFadeStep;
        return kDefaultFadeStep;
    }
    const float step = speed / 10.0f;
    const float largest = largestFadeStep(talkLevel);
    if (step <= largest)
        return step;
    qWarning() << "Setting volume/speedFade =" << stored.toString()
               << "too fast to duck to the talk-over level" << talkLevel << "- using"
               << 10.0f * largest;
    return largest;
}

int fastestFadeSpeed(float talkLevel)
{
    const float largest = largestFadeStep(talkLevel);
    int speed = 99;
    while (speed > 1 && float(speed) / 10.0f > largest)
        --speed;
    return speed;
}

Switches switches(const QSettings &settings)
{
    const auto ticked = [&settings](const char *key) {
        return settings.value(QLatin1String(key), true).toBool();
    };
    return {ticked("volume/stopFade"), ticked("volume/talkFade"), ticked("volume/sayClock"),
            ticked("volume/sayClockFade")};
}

AutoCue autoCue(const QSettings &settings)
{
    const auto number = [&settings](const char *key, int fallback, int lowest, int highest) {
        const QVariant stored = settings.value(QLatin1String(key));
        if (!stored.isValid())
            return fallback;
        bool ok = false;
        const int value = stored.toInt(&ok);
        if (ok && value >= lowest && value <= highest)
            return value;
        qWarning() << "Setting" << key << "=" << stored.toString() << "unusable, using" << fallback;
        return fallback;
    };
    return {settings.value(QStringLiteral("audio/autoCue"), true).toBool(),
            number("audio/autoCueSilence", kAutoCueSilenceDb, kLowestAutoCueSilenceDb, kHighestAutoCueSilenceDb),
            number("audio/autoCueFade", kAutoCueFadeLu, kLeastAutoCueFadeLu, kMostAutoCueFadeLu)};
}

} // namespace StartValues

void StartValues::writeDefaults(QSettings &settings, float talkLevel, int handOverSeconds, float fadeStep)
{
    auto setDefault = [&settings](const QString &key, const QVariant &value) {
        if (!settings.contains(key))
            settings.setValue(key, value);
    };

    for (int n = 1; n <= 10; ++n)
        setDefault(QStringLiteral("buttonhole/btn_") + QString::number(n), QString());
    setDefault(QStringLiteral("volume/volumeToTalk"), QString::number(double(talkLevel), 'g', 6));
    setDefault(QStringLiteral("volume/TransitionAudioTime"), handOverSeconds);
    // Stored as a decimal ("2.0" with the default step); the dialog writes it back
    // as a whole number.
    setDefault(QStringLiteral("volume/speedFade"),
               QString::number(double(10.0f * fadeStep), 'f', 1));
    for (const char *flag : {"volume/sayClock", "volume/sayClockFade", "volume/stopFade",
                             "volume/talkFade"})
        setDefault(QString::fromLatin1(flag), true);
    for (const char *folder : {"files/defaultDir", "files/jingleDir", "files/audioTimeDir"})
        setDefault(QString::fromLatin1(folder), QDir::homePath());
    setDefault(QStringLiteral("interface/language"), QStringLiteral("en_US"));
    // Off until asked for: an upgrade must not change the level on air.
    setDefault(QStringLiteral("audio/loudnessNormalize"), false);
    setDefault(QStringLiteral("audio/loudnessTarget"), Loudness::kDefaultTarget);
    // The silence at the items' ends is cut unless the operator says otherwise.
    setDefault(QStringLiteral("audio/autoCue"), true);
    setDefault(QStringLiteral("audio/autoCueSilence"), StartValues::kAutoCueSilenceDb);
    setDefault(QStringLiteral("audio/autoCueFade"), StartValues::kAutoCueFadeLu);
    // No choice: the system's default output, and no preview.
    setDefault(QStringLiteral("audio/outputDevice"), QString());
    setDefault(QStringLiteral("audio/previewDevice"), QString());
    // Music only, into the runtime folder; no stream server.
    setDefault(QStringLiteral("nowplaying/folder"), QString());
    setDefault(QStringLiteral("nowplaying/allKinds"), false);
    for (const char *key : {"nowplaying/serverUrl", "nowplaying/mount", "nowplaying/user",
                            "nowplaying/password"})
        setDefault(QString::fromLatin1(key), QString());
    // No stream and no air check until asked for; empty texts are the desk's
    // own choices (mount /live, user source, the air check in the data folder).
    setDefault(QStringLiteral("stream/enabled"), false);
    for (const char *key : {"stream/serverUrl", "stream/mount", "stream/user", "stream/password"})
        setDefault(QString::fromLatin1(key), QString());
    setDefault(QStringLiteral("stream/format"), QStringLiteral("mp3"));
    setDefault(QStringLiteral("stream/bitrate"), 128);
    setDefault(QStringLiteral("aircheck/enabled"), false);
    setDefault(QStringLiteral("aircheck/folder"), QString());
    setDefault(QStringLiteral("aircheck/days"), 31);
    setDefault(QStringLiteral("aircheck/fileMinutes"), 60);
    setDefault(QStringLiteral("aircheck/format"), QStringLiteral("opus"));
    keepSettingsPrivate(settings);
}

void MainWindow::initConfig()
{
    StartValues::writeDefaults(*settings, volumeToTalk, transitionAudioTime, player1.fadeStep);
}

void MainWindow::saveConfig(const QString &, const QString &field, const QString &value)
{
    settings->setValue(field, value);
}
