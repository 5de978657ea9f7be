// The settings store as the desk leaves it on disk, and what the window takes
// from it at start.
#include "mainwindow.h"
#include "loudness.h"
#include "startvalues.h"
#include "testsupport.h"

#include <QDir>
#include <QFile>
#include <QRegularExpression>
#include <QSettings>
#include <QSlider>

namespace {

using Values = QMap<QString, QString>;

QString confPath()
{
    return qEnvironmentVariable("XDG_CONFIG_HOME") + "/OrvaRadio/OrvaRadio.conf";
}

// The settings file as text, "group/key" to the value exactly as written.
Values storedText()
{
    Values values;
    QFile file(confPath());
    if (!file.open(QIODevice::ReadOnly | QIODevice::Text))
        return values;
    QString group;
    for (const QString &line : QString::fromUtf8(file.readAll()).split('\n')) {
        const qsizetype equals = line.indexOf('=');
        if (line.startsWith('['))
            group = line.mid(1, line.size() - 2);
        else if (equals > 0)
            values.insert(group + '/' + line.left(equals), line.mid(equals + 1));
    }
    return values;
}

// Every key of the first start with its default, or with `other` for a store
// whose every value differs from the defaults.
Values storeValues(bool other)
{
    Values values;
    for (int n = 1; n <= 10; ++n)
        values.insert(QString("buttonhole/btn_%1").arg(n), other ? QString("/carts/%1.wav").arg(n) : "");
    values.insert("volume/volumeToTalk", other ? "0.37" : "0.8");
    values.insert("volume/TransitionAudioTime", other ? "8" : "5");
    values.insert("volume/speedFade", other ? "5" : "2.0");
    for (const char *flag : {"sayClock", "sayClockFade", "stopFade", "talkFade"})
        values.insert(QString("volume/") + flag, other ? "false" : "true");
    for (const char *folder : {"defaultDir", "jingleDir", "audioTimeDir"})
        values.insert(QString("files/") + folder, other ? QString("/media/") + folder : QDir::homePath());
    values.insert("interface/language", other ? "pt_BR" : "en_US");
    values.insert("audio/loudnessNormalize", other ? "true" : "false");
    values.insert("audio/loudnessTarget", other ? "-18" : "-23");
    values.insert("audio/autoCue", other ? "false" : "true");
    values.insert("audio/autoCueSilence", other ? "-60" : "-50");
    values.insert("audio/autoCueFade", other ? "9" : "12");
    values.insert("audio/outputDevice", other ? "studio_console" : "");
    values.insert("audio/previewDevice", other ? "headphones" : "");
    values.insert("nowplaying/folder", other ? "/srv/now" : "");
    values.insert("nowplaying/allKinds", other ? "true" : "false");
    values.insert("nowplaying/serverUrl", other ? "http://stream.local:8000" : "");
    values.insert("nowplaying/mount", other ? "/radio" : "");
    values.insert("nowplaying/user", other ? "source" : "");
    values.insert("nowplaying/password", other ? "hackme" : "");
    values.insert("stream/enabled", other ? "true" : "false");
    values.insert("stream/serverUrl", other ? "http://ice.local:8000" : "");
    values.insert("stream/mount", other ? "/onair" : "");
    values.insert("stream/user", other ? "dj" : "");
    values.insert("stream/password", other ? "letmein" : "");
    values.insert("stream/format", other ? "opus" : "mp3");
    values.insert("stream/bitrate", other ? "192" : "128");
    values.insert("aircheck/enabled", other ? "true" : "false");
    values.insert("aircheck/folder", other ? "/srv/logger" : "");
    values.insert("aircheck/days", other ? "90" : "31");
    values.insert("aircheck/fileMinutes", other ? "30" : "60");
    values.insert("aircheck/format", other ? "mp3" : "opus");
    return values;
}

void store(const Values &values)
{
    QSettings settings("OrvaRadio", "OrvaRadio");
    for (auto it = values.cbegin(); it != values.cend(); ++it)
        settings.setValue(it.key(), it.value());
}

} // namespace

class TestSettings : public QObject
{
    Q_OBJECT

private slots:
    void init() { TestSupport::clearSettings(); }

    void firstStartWritesEveryDefault()
    {
        QVERIFY(storedText().isEmpty());
        delete new MainWindow;
        const Values stored = storedText();
        QCOMPARE(stored.size(), 46);
        QCOMPARE(stored, storeValues(false));
        QVERIFY(!stored.contains("files/recent"));
        // It may come to hold the stream server's password.
        QCOMPARE(QFile::permissions(QSettings("OrvaRadio", "OrvaRadio").fileName())
                     & ~(QFileDevice::ReadUser | QFileDevice::WriteUser),
                 QFileDevice::ReadOwner | QFileDevice::WriteOwner);
    }

    void deletedKeyAloneIsWrittenBack_data()
    {
        QTest::addColumn<QString>("key");
        for (const char *key : {"buttonhole/btn_10", "volume/volumeToTalk", "volume/speedFade",
                                "volume/stopFade", "files/jingleDir", "interface/language",
                                "stream/bitrate", "aircheck/format", "audio/autoCueFade"})
            QTest::newRow(key) << QString(key);
    }

    void deletedKeyAloneIsWrittenBack()
    {
        QFETCH(QString, key);
        Values expected = storeValues(true);
        expected.insert("files/recent", "/shows/monday.txt");
        store(expected);
        QSettings("OrvaRadio", "OrvaRadio").remove(key);

        delete new MainWindow;
        expected[key] = storeValues(false).value(key);
        QCOMPARE(storedText(), expected);
    }

    void startupReads_data()
    {
        QTest::addColumn<Values>("stored");
        QTest::addColumn<float>("fadeStep");
        QTest::addColumn<float>("volumeToTalk");
        QTest::addColumn<int>("slider");
        QTest::addColumn<int>("transition");
        QTest::addColumn<QString>("warning"); // the value a warning line names
        QTest::newRow("defaults") << Values() << 0.2f << 0.8f << 80 << 5 << QString();
        // The configuration dialog writes the fade speed as a whole number.
        QTest::newRow("dialog values")
            << Values{{"volume/speedFade", "5"}, {"volume/volumeToTalk", "0.37"}, {"volume/TransitionAudioTime", "8"}}
            << 0.5f << 0.37f << 37 << 8 << QString();
        // A fade step of 0 would hold every music item at volume 0.
        QTest::newRow("not numbers") << Values{{"volume/speedFade", "fast"}, {"volume/TransitionAudioTime", "soon"}}
                                     << 0.2f << 0.8f << 80 << 0 << "volume/speedFade.*fast";
        QTest::newRow("speed 0") << Values{{"volume/speedFade", "0"}} << 0.2f << 0.8f << 80 << 5
                                 << "volume/speedFade.*0";
        QTest::newRow("negative speed") << Values{{"volume/speedFade", "-3"}} << 0.2f << 0.8f << 80
                                        << 5 << "volume/speedFade.*-3";
        // Faster than one step from full volume to the talk-over level, the
        // music would never duck.
        QTest::newRow("fastest speed, talk-over at 0.8") << Values{{"volume/speedFade", "99"}}
                                                         << 0.2f << 0.8f << 80 << 5
                                                         << "volume/speedFade.*99";
        QTest::newRow("speed 5, talk-over at 0.8") << Values{{"volume/speedFade", "5"}}
                                                   << 0.2f << 0.8f << 80 << 5
                                                   << "volume/speedFade.*5";
        QTest::newRow("fastest speed, talk-over at 0.25")
            << Values{{"volume/speedFade", "99"}, {"volume/volumeToTalk", "0.25"}} << 0.75f << 0.25f
            << 25 << 5 << "volume/speedFade.*99";
        QTest::newRow("talk-over level above full") << Values{{"volume/volumeToTalk", "1.5"}}
                                                    << 0.2f << 0.8f << 80 << 5
                                                    << "volume/volumeToTalk.*1.5";
    }

    void startupReads()
    {
        QFETCH(Values, stored);
        QFETCH(QString, warning);
        if (!warning.isEmpty())
            QTest::ignoreMessage(QtWarningMsg, QRegularExpression(warning));
        store(stored);
        MainWindow window;
        QTEST(window.player1.fadeStep, "fadeStep");
        QTEST(window.player2.fadeStep, "fadeStep");
        QTEST(window.volumeToTalk, "volumeToTalk");
        QTEST(window.findChild<QSlider *>("volume_speak")->value(), "slider");
        QTEST(window.transitionAudioTime, "transition");
    }

    void loudnessTargetRead_data()
    {
        QTest::addColumn<QString>("stored");
        QTest::addColumn<int>("target");
        QTest::addColumn<bool>("warned");
        QTest::newRow("highest") << "-14" << -14 << false;
        QTest::newRow("below the range") << "-40" << -23 << true;
        QTest::newRow("not a number") << "loud" << -23 << true;
    }

    void loudnessTargetRead()
    {
        QFETCH(QString, stored);
        QFETCH(bool, warned);
        store({{"audio/loudnessTarget", stored}});
        if (warned)
            QTest::ignoreMessage(QtWarningMsg, QRegularExpression("audio/loudnessTarget.*" + stored));
        MainWindow window;
        QTEST(window.loudness->target(), "target");
    }

    // Cutting the silence: on unless stored off; a threshold out of its
    // range is named and replaced by its default.
    void autoCueRead_data()
    {
        QTest::addColumn<Values>("stored");
        QTest::addColumn<bool>("on");
        QTest::addColumn<int>("silenceDb");
        QTest::addColumn<int>("fadeLu");
        QTest::addColumn<QString>("warning");
        QTest::newRow("nothing stored") << Values() << true << -50 << 12 << QString();
        QTest::newRow("dialog values")
            << Values{{"audio/autoCue", "false"}, {"audio/autoCueSilence", "-70"}, {"audio/autoCueFade", "30"}}
            << false << -70 << 30 << QString();
        QTest::newRow("silence threshold too loud") << Values{{"audio/autoCueSilence", "-20"}} << true << -50
                                                    << 12 << "audio/autoCueSilence.*-20";
        QTest::newRow("fade not a number") << Values{{"audio/autoCueFade", "deep"}} << true << -50 << 12
                                           << "audio/autoCueFade.*deep";
    }

    void autoCueRead()
    {
        QFETCH(Values, stored);
        QFETCH(QString, warning);
        store(stored);
        if (warning.isEmpty())
            QTest::failOnWarning(QRegularExpression("autoCue"));
        else
            QTest::ignoreMessage(QtWarningMsg, QRegularExpression(warning));
        const StartValues::AutoCue read = StartValues::autoCue(QSettings("OrvaRadio", "OrvaRadio"));
        QTEST(read.on, "on");
        QTEST(read.silenceDb, "silenceDb");
        QTEST(read.fadeLu, "fadeLu");
    }

    void saveConfigWritesTheValue()
    {
        {
            MainWindow window;
            window.saveConfig("ignored.conf", "volume/TransitionAudioTime", "7");
            window.saveConfig(QString(), "extra/key", "some text");
        }
        const Values stored = storedText();
        QCOMPARE(stored.value("volume/TransitionAudioTime"), "7");
        QCOMPARE(stored.value("extra/key"), "some text");
        QVERIFY(!QFile::exists("ignored.conf"));
    }
};

ORVA_TEST_MAIN(TestSettings)
#include "tst_settings.moc"
