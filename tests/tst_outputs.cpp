// The air on the output chosen for it, the preview on its own, and the air
// kept going when the chosen output goes away. Each output is a null sink of
// the test sound server, recorded apart.
#include "airguard.h"
#include "mainwindow.h"
#include "outputdevices.h"
#include "preview.h"
#include "selfrestart.h"
#include "timerclock.h"
#include "testsupport.h"

#include <QMenu>
#include <QRegularExpression>
#include <QSettings>
#include <QTreeWidget>

#include <QDir>

#include <csignal>

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
constexpr int kCartHz = 1760;
constexpr double kOpeningSeconds = 12.0;
constexpr double kStraddlingSeconds = 20.0;
constexpr double kClosingSeconds = 6.0;
constexpr double kCartSeconds = 3.0;
constexpr int kPreviewMs = 1500;
// How long the air's output stays away.
constexpr qint64 kAwayMs = 8000;
// The clock's one-second tick, as the window shows it.
constexpr qint64 kMostTickMs = 1300;
// The end of a session, from the signal to the window gone.
constexpr qint64 kMostEndMs = 2000;
// What a music item loses at most: its 5 s hand-over lead (its fade-out,
// heard, makes up for its fade-in), and what any item may lose at its edges.
constexpr double kHandOverSeconds = 5.0;
constexpr double kEdgeSeconds = 0.5;
// Two rounds of a 3 s and a 6 s jingle, and the start of the desk.
constexpr int kHungRunMs = 14000;
// From one jingle to the next, both channels stop first.
constexpr int kMostItemGapWindows = 4;
// Sound on an output it does not belong to, before the desk acts.
constexpr double kMostOnWrongOutputSeconds = 0.3;
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
    return TestSupport::loadSink(QLatin1String(name));
}

bool unloadSink(const char *name)
{
    return TestSupport::unloadSink(QLatin1String(name));
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

Playlist music(const QString &path)
{
    return {QFileInfo(path).completeBaseName(), path, QStringLiteral("00:20"), QStringLiteral("music")};
}

// The sound server's default output.
void setDefaultOutput(const QString &sink)
{
    QVERIFY(TestSupport::run(QStringLiteral("pactl"), {QStringLiteral("set-default-sink"), sink}));
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
            if (choice->text() != text)
                continue;
            QVERIFY(choice->isEnabled());
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
    QString opening;
    QString straddling;
    QString closing;
    QString cart;

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
        opening = root + QStringLiteral("/opening.wav");
        straddling = root + QStringLiteral("/straddling.wav");
        closing = root + QStringLiteral("/closing.wav");
        cart = root + QStringLiteral("/cart.wav");
        QVERIFY(TestSupport::makeTone(opening, kOpeningSeconds, kAirHz));
        QVERIFY(TestSupport::makeTone(straddling, kStraddlingSeconds, kFollowingHz));
        QVERIFY(TestSupport::makeTone(closing, kClosingSeconds, kEndingHz));
        QVERIFY(TestSupport::makeTone(cart, kCartSeconds, kCartHz));
        QVERIFY(loadSink(kAirSink));
        QVERIFY(loadSink(kPreviewSink));
    }

    void cleanup() { setDefaultOutput(qEnvironmentVariable("ORVARADIO_TEST_SINK")); }

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
        QCOMPARE(desk.sequencer->currentIndex(), 0);
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
        QTRY_VERIFY_WITH_TIMEOUT(desk.sequencer->currentIndex() == 1, int(kShortSeconds) * 1000);
        QTest::qWait(1500);
        QVERIFY(loadSink(kAirSink));
        TestSupport::Recorder onAirAgain{QString::fromLatin1(kAirSink)};
        QVERIFY(onAirAgain.start());
        QTRY_VERIFY_WITH_TIMEOUT(desk.sequencer->currentIndex() == 2, int(kShortSeconds) * 1000);
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

    // The air's output goes away while an item plays and comes back 8 s
    // later, across a hand-over, with two entries previewed before: every
    // item is heard whole (on the default output, then on the returned one),
    // nothing of the air reaches the preview output, a cart sounds meanwhile,
    // the window keeps its one-second clock, and the end of the session is
    // prompt. Where the system's default output is the preview's, the air
    // goes to another output instead.
    void outputAwayAcrossHandOver_data()
    {
        QTest::addColumn<QString>("standard");
        QTest::newRow("default output apart") << QString();
        QTest::newRow("default output is the preview's") << QString::fromLatin1(kPreviewSink);
    }

    void outputAwayAcrossHandOver()
    {
        QFETCH(QString, standard);
        chooseOutputs(QLatin1String(kAirSink), QLatin1String(kPreviewSink));
        QSettings(QStringLiteral("OrvaRadio"), QStringLiteral("OrvaRadio"))
            .setValue(QStringLiteral("buttonhole/btn_1"), cart);
        if (!standard.isEmpty())
            setDefaultOutput(standard);
        auto desk = std::make_unique<MainWindow>();
        desk->playlist = {music(opening), music(straddling), jingle(closing)};
        desk->updateAudioList();
        desk->show();
        QVERIFY(QTest::qWaitForWindowExposed(desk.get()));
        QElapsedTimer sinceTick;
        qint64 longestTick = 0;
        connect(desk->clock, &TimerClock::updateTime, desk.get(), [&] {
            longestTick = std::max(longestTick, sinceTick.isValid() ? sinceTick.elapsed() : 0);
            sinceTick.start();
        });
        TestSupport::Recorder fallback;
        TestSupport::Recorder previewed{QString::fromLatin1(kPreviewSink)};
        TestSupport::Recorder airBefore{QString::fromLatin1(kAirSink)};
        TestSupport::Recorder airAfter{QString::fromLatin1(kAirSink)};
        QVERIFY(fallback.start() && previewed.start() && airBefore.start());

        const qsizetype rowsBefore = TestSupport::todaysAsRunRows().size();
        desk->on_btn_play_clicked();
        QTRY_VERIFY_WITH_TIMEOUT(desk->player2.isPlaying(), kStartToleranceMs);
        for (int row : {1, 2}) {
            previewFromMenu(*desk, row, QStringLiteral("Do início"));
            QTRY_VERIFY_WITH_TIMEOUT(desk->preview->isPlaying(), kStartToleranceMs);
            QTest::qWait(kPreviewMs);
            previewFromMenu(*desk, row, QStringLiteral("Parar a pré-escuta"));
        }
        // The sound server moves a recording of a vanishing output elsewhere.
        const QVector<qint16> heardBefore = airBefore.stop();
        QVERIFY(unloadSink(kAirSink));
        QElapsedTimer away;
        away.start();
        QTRY_VERIFY_WITH_TIMEOUT(desk->sequencer->currentIndex() == 1, int(kOpeningSeconds) * 1000);
        QTest::qWait(500);
        QTest::keyClick(desk.get(), Qt::Key_1);
        QTest::qWait(int(kAwayMs - away.elapsed()));
        QVERIFY(loadSink(kAirSink));
        // The wait for the new output's first data is the test's own.
        QVERIFY(airAfter.start());
        sinceTick.invalidate();
        QTRY_VERIFY_WITH_TIMEOUT(desk->sequencer->currentIndex() == 2, int(kStraddlingSeconds) * 1000);
        QTRY_VERIFY_WITH_TIMEOUT(desk->sequencer->currentIndex() == 0, int(kClosingSeconds + 2) * 1000);
        const QVector<qint16> heardAfter = airAfter.stop();
        const QVector<qint16> heardElsewhere = fallback.stop();
        const QVector<qint16> heardPreview = previewed.stop();
        QVERIFY2(longestTick <= kMostTickMs, qPrintable(QString::number(longestTick)));
        QElapsedTimer ending;
        ending.start();
        endSession(*desk, SIGTERM);
        desk.reset();
        QVERIFY2(ending.elapsed() < kMostEndMs, qPrintable(QString::number(ending.elapsed())));
        QStringList logged;
        for (const TestSupport::AsRunRow &row : TestSupport::todaysAsRunRows().mid(rowsBefore))
            logged << row.title + QLatin1Char(' ') + row.outcome;
        logged.sort();
        QCOMPARE(logged, QStringList({"cart ended", "closing ended", "opening handed-over", "opening stopped",
                                      "straddling handed-over"}));

        const auto onAir = [&](int hz) {
            return secondsWith(heardBefore, hz) + secondsWith(heardElsewhere, hz) + secondsWith(heardAfter, hz);
        };
        qInfo() << "heard on air:" << onAir(kAirHz) << onAir(kFollowingHz) << onAir(kEndingHz) << onAir(kCartHz)
                << "on the preview output:" << secondsWith(heardPreview, kAirHz)
                << secondsWith(heardPreview, kFollowingHz) << secondsWith(heardPreview, kEndingHz);
        QVERIFY(onAir(kAirHz) >= kOpeningSeconds - kHandOverSeconds);
        QVERIFY(onAir(kFollowingHz) >= kStraddlingSeconds - kHandOverSeconds);
        QVERIFY(longestGap(windowsWith(heardElsewhere, kFollowingHz)) <= kMostGapWindows);
        QVERIFY(secondsWith(heardAfter, kEndingHz) >= kClosingSeconds - kEdgeSeconds);
        QVERIFY(secondsWith(heardElsewhere, kCartHz) >= kCartSeconds - kEdgeSeconds);
        // The preview output holds what was previewed, and of the air at
        // most the moment before the desk moved it.
        const double previewedMost = kPreviewMs / 1000.0 + kMostOnWrongOutputSeconds;
        QVERIFY(secondsWith(heardPreview, kAirHz) + secondsWith(heardPreview, kCartHz) <= kMostOnWrongOutputSeconds);
        QVERIFY(secondsWith(heardPreview, kFollowingHz) <= previewedMost);
        QVERIFY(secondsWith(heardPreview, kEndingHz) <= previewedMost);
    }

    // A pactl that never answers costs the air nothing: the running order
    // plays on without a gap, the hang is named once, and the end of the
    // session is prompt.
    void hungSoundServerTool()
    {
        chooseOutputs(qEnvironmentVariable("ORVARADIO_TEST_SINK"), QString());
        SelfRestart::ResumePoint point;
        point.order = {jingle(preview), jingle(middle)};
        point.onAir = true;
        const QString resumeFile = TestSupport::privateRoot() + QStringLiteral("/hung-resume.txt");
        QVERIFY(SelfRestart::writeResumeFile(resumeFile, point));
        qputenv(SelfRestart::kResumeVariable, resumeFile.toLocal8Bit());
        TestSupport::ConverterStandIn hung(TestSupport::privateRoot() + QStringLiteral("/hung"),
                                           "exec sleep 600\n", QStringLiteral("pactl"));
        TestSupport::Recorder heard;
        QVERIFY(heard.start());
        QProcess desk;
        desk.start(QStringLiteral(ORVARADIO_BIN), {});
        qunsetenv(SelfRestart::kResumeVariable);
        QVERIFY(desk.waitForStarted());
        QTest::qWait(kHungRunMs);
        const QVector<qint16> samples = heard.stop();
        QElapsedTimer closing;
        closing.start();
        ::kill(pid_t(desk.processId()), SIGTERM);
        QVERIFY(desk.waitForFinished(kStartToleranceMs));
        QVERIFY2(closing.elapsed() < kMostEndMs, qPrintable(QString::number(closing.elapsed())));
        QCOMPARE(desk.exitCode(), 0);
        QCOMPARE(QString::fromLocal8Bit(desk.readAllStandardError()).count(QStringLiteral("Helper program \"pactl\"")), 1);

        QVector<bool> sounding = windowsWith(samples, kPreviewHz);
        const QVector<bool> second = windowsWith(samples, kFollowingHz);
        for (qsizetype i = 0; i < sounding.size(); ++i)
            sounding[i] = sounding[i] || second[i];
        qInfo() << "longest gap" << longestGap(sounding) * kWindowMs << "ms";
        QVERIFY(secondsWith(samples, kPreviewHz) >= 2 * (kPreviewSeconds - kEdgeSeconds));
        QVERIFY(secondsWith(samples, kFollowingHz) >= kMiddleSeconds - kEdgeSeconds);
        QVERIFY(longestGap(sounding) <= kMostItemGapWindows);
    }

    // A preview plays when its output goes away: the sound server moves it
    // to the default output, the air; the desk stops it at once, and its
    // menu still offers to stop it.
    void previewOutputAway()
    {
        chooseOutputs(QString(), QLatin1String(kPreviewSink));
        MainWindow desk;
        desk.playlist = {jingle(following)};
        desk.updateAudioList();
        desk.show();
        QVERIFY(QTest::qWaitForWindowExposed(&desk));
        // Until the sound server has answered, the media framework's idea of
        // the default output is all there is, and Qt 6.4's lags behind.
        QTRY_VERIFY_WITH_TIMEOUT(desk.outputs->previewState() == OutputDevices::PreviewState::Ready,
                                 kStartToleranceMs);
        TestSupport::Recorder onAir;
        QVERIFY(onAir.start());
        previewFromMenu(desk, 0, QStringLiteral("Do início"));
        QTRY_VERIFY_WITH_TIMEOUT(desk.preview->isPlaying(), kStartToleranceMs);
        QTest::qWait(1000);
        QTest::ignoreMessage(QtWarningMsg, QRegularExpression(QStringLiteral("^Preview stopped: .* went away")));
        QVERIFY(unloadSink(kPreviewSink));
        QTRY_VERIFY_WITH_TIMEOUT(!desk.preview->isPlaying(), kStartToleranceMs);
        QTest::qWait(1000);
        const QVector<qint16> heard = onAir.stop();
        QVERIFY(loadSink(kPreviewSink));
        qInfo() << "the preview was heard on air for" << secondsWith(heard, kFollowingHz) << "s";
        QVERIFY(secondsWith(heard, kFollowingHz) < kMostOnWrongOutputSeconds);
        previewFromMenu(desk, 0, QStringLiteral("Parar a pré-escuta"));
    }
};

ORVA_TEST_MAIN(OutputsTest)
#include "tst_outputs.moc"
