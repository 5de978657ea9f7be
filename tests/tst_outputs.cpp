// The air on the output chosen for it, the preview on its own, and the air
// kept going when the chosen output goes away. Each output is a null sink of
// the test sound server, recorded apart.
#include "mainwindow.h"
#include "preview.h"
#include "testsupport.h"

#include <QMenu>
#include <QRegularExpression>
#include <QSettings>
#include <QTreeWidget>

namespace {

constexpr int kAirHz = 440;
constexpr int kFollowingHz = 660;
constexpr int kPreviewHz = 880;
constexpr int kEndingHz = 1320;
constexpr double kLongSeconds = 20.0;
// On air for the whole of the first test; the second test's first item.
constexpr double kAirSeconds = 30.0;
constexpr double kShortSeconds = 8.0;
constexpr double kMiddleSeconds = 6.0;
constexpr double kPreviewSeconds = 3.0;
constexpr int kWindowMs = 50;
constexpr double kPresentAmplitude = 0.05;
constexpr int kStartToleranceMs = 5000;
// The last seconds of a 20 s item are 15 s of it: no more than 15.5 s may
// sound, and at least 14 s (the preview output's start-up eats a little).
constexpr double kLastSecondsMost = 15.5;
constexpr double kLastSecondsLeast = 14.0;
// A 50 ms window without the tone on air is a gap; one may straddle the
// start of the preview or the output's change.
constexpr int kMostGapWindows = 1;

// The air on the default output after its own went away: within the time a
// stalled channel takes to be skipped and the next item to start.
constexpr qint64 kMostMoveMs = 4000;

const char *const kAirSink = "airsink";
const char *const kPreviewSink = "previewsink";

bool loadSink(const char *name)
{
    return TestSupport::run(QStringLiteral("pactl"),
                            {QStringLiteral("load-module"), QStringLiteral("module-null-sink"),
                             QStringLiteral("sink_name=%1").arg(QLatin1String(name)),
                             QStringLiteral("rate=44100"), QStringLiteral("channels=2")});
}

bool unloadSink(const char *name)
{
    return TestSupport::run(QStringLiteral("sh"),
                            {QStringLiteral("-c"),
                             QStringLiteral("pactl unload-module $(pactl list short modules | grep "
                                            "'sink_name=%1 ' | cut -f1)")
                                 .arg(QLatin1String(name))});
}

// The 50 ms windows of `samples` in which `frequency` sounds.
QVector<bool> windowsWith(const QVector<qint16> &samples, double frequency)
{
    return TestSupport::Recorder::toneWindows(samples, frequency, kWindowMs, kPresentAmplitude);
}

double secondsWith(const QVector<qint16> &samples, double frequency)
{
    const QVector<bool> present = windowsWith(samples, frequency);
    return double(present.count(true)) * kWindowMs / 1000.0;
}

// The longest run of windows without `frequency` between its first and last.
int longestGap(const QVector<bool> &present)
{
    const qsizetype first = present.indexOf(true);
    const qsizetype last = present.lastIndexOf(true);
    int gap = 0;
    int longest = 0;
    for (qsizetype i = first; first >= 0 && i <= last; ++i) {
        gap = present[i] ? 0 : gap + 1;
        longest = std::max(longest, gap);
    }
    return longest;
}

Playlist jingle(const QString &path)
{
    return {QFileInfo(path).completeBaseName(), path, QStringLiteral("00:20"), QStringLiteral("jingle")};
}

void chooseOutputs(const QString &air, const QString &preview)
{
    TestSupport::clearSettings();
    QSettings settings(QStringLiteral("OrvaRadio"), QStringLiteral("OrvaRadio"));
    settings.setValue(QStringLiteral("audio/outputDevice"), air);
    settings.setValue(QStringLiteral("audio/previewDevice"), preview);
}

// Opens the row menu of `row` and triggers the "Pré Escuta" action `text`.
void previewFromMenu(MainWindow &desk, int row, const QString &text)
{
    auto *view = desk.findChild<QTreeWidget *>(QStringLiteral("audio_list"));
    desk.audioOptionsMenu(view->visualItemRect(view->topLevelItem(row)).center());
    QMenu *menu = nullptr;
    for (QMenu *shown : desk.findChildren<QMenu *>(QString(), Qt::FindDirectChildrenOnly)) {
        if (shown->isVisible())
            menu = shown;
    }
    QVERIFY(menu);
    for (QAction *action : menu->actions()) {
        if (action->text() != QStringLiteral("Pré Escuta"))
            continue;
        QVERIFY(action->isEnabled() && action->menu());
        for (QAction *choice : action->menu()->actions()) {
            if (choice->text() == text)
                choice->trigger();
        }
    }
    menu->close();
}

} // namespace

class OutputsTest : public QObject
{
    Q_OBJECT

    QString air;
    QString shortAir;
    QString middle;
    QString following;
    QString ending;
    QString preview;

private slots:
    void initTestCase()
    {
        if (!TestSupport::soundServerAvailable())
            QSKIP("no test sound server");
        const QString root = TestSupport::privateRoot();
        air = root + QStringLiteral("/air.wav");
        following = root + QStringLiteral("/following.wav");
        ending = root + QStringLiteral("/ending.wav");
        preview = root + QStringLiteral("/preview.wav");
        QVERIFY(TestSupport::makeTone(air, kAirSeconds, kAirHz));
        shortAir = root + QStringLiteral("/short-air.wav");
        QVERIFY(TestSupport::makeTone(shortAir, kShortSeconds, kAirHz));
        middle = root + QStringLiteral("/middle.wav");
        QVERIFY(TestSupport::makeTone(middle, kMiddleSeconds, kFollowingHz));
        QVERIFY(TestSupport::makeTone(following, kLongSeconds, kFollowingHz));
        QVERIFY(TestSupport::makeTone(ending, kLongSeconds, kEndingHz));
        QVERIFY(TestSupport::makeTone(preview, kPreviewSeconds, kPreviewHz));
        QVERIFY(loadSink(kAirSink));
        QVERIFY(loadSink(kPreviewSink));
    }

    void cleanupTestCase()
    {
        unloadSink(kAirSink);
        unloadSink(kPreviewSink);
    }

    // On air, one entry previewed from its start and another's last seconds:
    // each is heard on its own output only, and the air goes on meanwhile.
    void airAndPreviewApart()
    {
        chooseOutputs(QLatin1String(kAirSink), QLatin1String(kPreviewSink));
        MainWindow desk;
        desk.playlist = {jingle(air), jingle(following), jingle(ending), jingle(preview)};
        desk.updateAudioList();
        desk.show();
        QVERIFY(QTest::qWaitForWindowExposed(&desk));
        TestSupport::Recorder onAir{QString::fromLatin1(kAirSink)};
        TestSupport::Recorder previewed{QString::fromLatin1(kPreviewSink)};
        TestSupport::Recorder fallback;
        QVERIFY(onAir.start() && previewed.start() && fallback.start());

        desk.on_btn_play_clicked();
        QTRY_VERIFY_WITH_TIMEOUT(desk.player2.isPlaying(), kStartToleranceMs);
        QTest::qWait(1000);
        previewFromMenu(desk, 3, QStringLiteral("Do início"));
        QTRY_VERIFY_WITH_TIMEOUT(desk.preview->isPlaying(), kStartToleranceMs);
        QTRY_VERIFY_WITH_TIMEOUT(!desk.preview->isPlaying(), kStartToleranceMs + int(kPreviewSeconds) * 1000);
        previewFromMenu(desk, 2, QStringLiteral("Últimos 15 segundos"));
        QTRY_VERIFY_WITH_TIMEOUT(desk.preview->isPlaying(), kStartToleranceMs);
        QTRY_VERIFY_WITH_TIMEOUT(!desk.preview->isPlaying(), kStartToleranceMs + int(kLastSecondsMost * 1000));
        QTest::qWait(500);
        const QVector<qint16> heardOnAir = onAir.stop();
        const QVector<qint16> heardPreview = previewed.stop();
        const QVector<qint16> heardElsewhere = fallback.stop();
        QCOMPARE(desk.currentIndex, 0);
        desk.on_btn_stop_clicked();

        const QVector<bool> airWindows = windowsWith(heardOnAir, kAirHz);
        QVERIFY2(airWindows.count(true) * kWindowMs > 18000, qPrintable(QString::number(airWindows.count(true))));
        QVERIFY2(longestGap(airWindows) <= kMostGapWindows, qPrintable(QString::number(longestGap(airWindows))));
        QCOMPARE(secondsWith(heardOnAir, kPreviewHz) + secondsWith(heardOnAir, kEndingHz), 0.0);
        QCOMPARE(secondsWith(heardPreview, kAirHz), 0.0);
        QVERIFY(secondsWith(heardPreview, kPreviewHz) >= kPreviewSeconds - 0.5);
        const double last = secondsWith(heardPreview, kEndingHz);
        qInfo() << "last seconds heard:" << last;
        QVERIFY2(last >= kLastSecondsLeast && last <= kLastSecondsMost, qPrintable(QString::number(last)));
        for (int hz : {kAirHz, kPreviewHz, kEndingHz})
            QCOMPARE(secondsWith(heardElsewhere, hz), 0.0);
    }

    // The chosen output goes away mid-item: the air goes on on the system's
    // default output, and so does the next item; once the output is back,
    // the item after that plays on it.
    void chosenOutputGoesAndComes()
    {
        chooseOutputs(QLatin1String(kAirSink), QString());
        MainWindow desk;
        desk.playlist = {jingle(shortAir), jingle(middle), jingle(preview)};
        desk.updateAudioList();
        TestSupport::Recorder fallback;
        QVERIFY(fallback.start());
        QElapsedTimer recording;
        recording.start();
        desk.on_btn_play_clicked();
        QTRY_VERIFY_WITH_TIMEOUT(desk.player2.isPlaying(), kStartToleranceMs);
        QTest::qWait(2000);
        QTest::ignoreMessage(QtWarningMsg, QRegularExpression(QStringLiteral("^Output device \"airsink\" not found")));
        const qint64 goneAt = recording.elapsed();
        QVERIFY(unloadSink(kAirSink));
        QTRY_VERIFY_WITH_TIMEOUT(desk.currentIndex == 1, int(kShortSeconds) * 1000);
        QTest::qWait(1500);
        QVERIFY(loadSink(kAirSink));
        TestSupport::Recorder onAirAgain{QString::fromLatin1(kAirSink)};
        QVERIFY(onAirAgain.start());
        QTRY_VERIFY_WITH_TIMEOUT(desk.currentIndex == 2, int(kShortSeconds) * 1000);
        QTest::qWait(1500);
        const QVector<qint16> heardElsewhere = fallback.stop();
        const QVector<qint16> heardBack = onAirAgain.stop();
        desk.on_btn_stop_clicked();

        // The recording of the default output began before the air did:
        // the tone there starts when the chosen output went away.
        const QVector<bool> moved = windowsWith(heardElsewhere, kAirHz);
        QVERIFY2(moved.contains(true), "the air did not go on on the default output");
        const qint64 gapMs = qint64(moved.indexOf(true)) * kWindowMs - goneAt;
        qInfo() << "the air went on on the default output" << gapMs << "ms after its output went away";
        QVERIFY2(gapMs <= kMostMoveMs, qPrintable(QString::number(gapMs)));
        QVERIFY(longestGap(moved) <= kMostGapWindows);
        QVERIFY2(secondsWith(heardElsewhere, kFollowingHz) >= kMiddleSeconds - 1.0,
                 "the item started while the output was away did not play on the default output");
        QVERIFY2(secondsWith(heardBack, kPreviewHz) >= 1.0, "the item after its return did not play on the output");
        QCOMPARE(secondsWith(heardElsewhere, kPreviewHz), 0.0);
    }
};

ORVA_TEST_MAIN(OutputsTest)
#include "tst_outputs.moc"
