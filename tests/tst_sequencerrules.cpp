// The sequence's decisions, with channels and an announcer that only do what
// they are told and report what the test makes them report: no window, no
// sound, no waiting.
#include "announcer.h"
#include "channel.h"
#include "fixedstarts.h"
#include "onairevents.h"
#include "playoutretry.h"
#include "preparation.h"
#include "sequencer.h"
#include "testsupport.h"

#include <QFileInfo>
#include <QTimer>
#include <QtTest>

namespace {

// Every item is this long.
constexpr qint64 kItemMs = 60000;
constexpr int kHandOverSeconds = 5;

class FakeChannel : public Channel
{
public:
    QString file;
    bool playing = false;
    bool failed = false;
    bool cameIn = false; // started with a fade-in
    qint64 from = -1;    // heard from there
    qint64 position = 0;

    void start(const QString &path, bool fadeIn, qint64 startAt) override
    {
        file = path;
        from = startAt;
        playing = true;
        failed = false;
        fadingOut = false;
        cameIn = fadeIn;
        position = 0;
        if (!fadeIn)
            targetVolume = 1.0f;
    }
    void fadeOut() override
    {
        if (isPlaying())
            fadingOut = true;
    }
    void Reset() override
    {
        playing = failed = fadingOut = fadingIn = fading = false;
        targetVolume = 1.0f;
    }
    void setVolume(float) override {}
    bool isPlaying() const override { return playing && !failed; }
    bool isStopped() const override { return !playing || failed; }
    bool hasFailed() const override { return failed; }
    qint64 getPosition() const override { return position; }
    qint64 getDuration() const override { return playing ? kItemMs : 0; }

    void moveTo(qint64 at)
    {
        position = at;
        emit update_position(at);
    }
    void end()
    {
        playing = fadingOut = fading = false;
        emit playbackFinished();
    }
    void fail()
    {
        failed = true;
        fadingOut = fading = false;
        emit mediaError(file, QStringLiteral("broken"));
    }
    // The fades reach their ends: a fade-out stops the channel, which reports
    // nothing.
    void fadeEnds()
    {
        if (fadingOut)
            playing = fadingOut = false;
        fading = false;
    }
    QString shown() const
    {
        if (!playing)
            return QStringLiteral("-");
        const QString name = QFileInfo(file).completeBaseName();
        return name + (failed ? QStringLiteral("!") : fadingOut ? QStringLiteral(">") : cameIn ? QStringLiteral("+") : QString())
               + (from >= 0 ? QStringLiteral("~%1").arg(from) : QString());
    }
};

class FakeAnnouncer : public Announcer
{
public:
    bool speaking = false;
    bool fadedOut = false;
    CuePoints cues;
    void play(const OnAirEvents::Item &, const CuePoints &given) override
    {
        speaking = true;
        cues = given;
    }
    void stop() override { speaking = false; }
    void fadeOut(float) override
    {
        speaking = false;
        fadedOut = true;
    }
    qint64 remainingTime() const override { return 0; }
    const void *eventSource() const override { return this; }
};

} // namespace

class SequencerRules : public QObject
{
    Q_OBJECT

    QTemporaryDir media;
    std::vector<Playlist> order;
    FakeChannel one;
    FakeChannel two;
    FakeAnnouncer announcer;
    OnAirEvents events;
    PlayoutRetry *retry = nullptr;
    Preparation *preparation = nullptr;
    FixedStarts *fixedStarts = nullptr;
    Sequencer *sequencer = nullptr;
    QString voice;
    QHash<QString, CuePoints> cues;

    // "a" is music, "j…" a jingle, "t" a time entry, "u" of a kind the desk
    // cannot play, "F" a folder without audio, "G" a music and "J" a jingle
    // folder holding "x"; "@h" and "@s" give a hard or soft fixed time;
    // "~start~end~fade" the file's cue points in seconds (a time entry's are
    // its voice's).
    void makeOrder(const QString &spec)
    {
        for (const QString &token : spec.split(QLatin1Char(' '), Qt::SkipEmptyParts)) {
            const QString name = token.section(QLatin1Char('@'), 0, 0).section(QLatin1Char('~'), 0, 0);
            Playlist entry{name, media.filePath(name + QStringLiteral(".wav")), QStringLiteral("01:00"),
                           QStringLiteral("music")};
            if (name.startsWith(QLatin1Char('j')))
                entry.kind = QStringLiteral("jingle");
            else if (name == QLatin1String("t"))
                entry = {QStringLiteral("Hora Certa"), QString(), QStringLiteral("--:--"), QStringLiteral("time")};
            else if (name == QLatin1String("u"))
                entry.kind = QStringLiteral("musc");
            else if (name == QLatin1String("F") || name == QLatin1String("G"))
                entry = {name, media.filePath(name), QString(), QStringLiteral("folder-music")};
            else if (name == QLatin1String("J"))
                entry = {name, media.filePath(name), QString(), QStringLiteral("folder-jingle")};
            if (token.contains(QLatin1Char('@'))) {
                entry.fixed.at = QTime::currentTime().addSecs(3600);
                entry.fixed.hard = token.endsWith(QLatin1Char('h'));
            }
            const QStringList points = token.split(QLatin1Char('~')).mid(1);
            if (!points.isEmpty()) {
                const auto ms = [&points](int at) { return at < points.size() ? qint64(points[at].toDouble() * 1000) : -1; };
                cues[entry.kind == QLatin1String("time") ? media.filePath(voice) : entry.path] = {ms(0), ms(1), ms(2)};
            }
            order.push_back(entry);
        }
        // What the preparation knows ahead: an empty folder is bad.
        preparation->plan(order, 0, 1, false);
    }

    FakeChannel *onAirChannel()
    {
        return static_cast<FakeChannel *>(sequencer->reference());
    }

    void move(const QString &step)
    {
        const QString verb = step.section(QLatin1Char(':'), 0, 0);
        const int row = step.section(QLatin1Char(':'), 1).toInt();
        if (verb == QLatin1String("play")) {
            sequencer->play();
        } else if (verb == QLatin1String("stop")) {
            sequencer->stop();
        } else if (verb == QLatin1String("next")) {
            sequencer->skipNext();
        } else if (verb == QLatin1String("click")) {
            sequencer->playRow(row);
        } else if (verb == QLatin1String("mark")) {
            sequencer->markNext(row);
        } else if (verb == QLatin1String("remove")) {
            sequencer->remove(row);
        } else if (verb == QLatin1String("insert")) {
            sequencer->insert(row, {QStringLiteral("n"), media.filePath(QStringLiteral("n.wav")),
                                    QString(), QStringLiteral("music")});
        } else if (verb == QLatin1String("clear")) {
            sequencer->clear();
        } else if (verb == QLatin1String("due")) {
            emit fixedStarts->due(row);
        } else if (verb == QLatin1String("T") || verb == QLatin1String("T+1")) {
            // The on-air item's remaining time reads 0:T (or a second more).
            const int seconds = kHandOverSeconds + (verb == QLatin1String("T") ? 0 : 1);
            if (FakeChannel *channel = onAirChannel())
                channel->moveTo(kItemMs - seconds * 1000 - 200);
        } else if (verb == QLatin1String("at")) {
            if (FakeChannel *channel = onAirChannel())
                channel->moveTo(row);
        } else if (verb == QLatin1String("cue")) {
            // The last stretch to a leaving point passes.
            for (QTimer *timer : sequencer->findChildren<QTimer *>()) {
                if (timer->isActive())
                    timer->start(0);
            }
            QCoreApplication::processEvents();
        } else if (verb == QLatin1String("left")) {
            QCOMPARE(sequencer->remainingTime(), qint64(row));
        } else if (verb == QLatin1String("nocue")) {
            sequencer->setCues({});
        } else if (verb == QLatin1String("zero")) {
            one.moveTo(0);
            two.moveTo(0);
        } else if (verb == QLatin1String("rising")) {
            // A start from silence, before its first fade tick.
            one.targetVolume = two.targetVolume = 0.0f;
        } else if (verb == QLatin1String("end")) {
            if (FakeChannel *channel = onAirChannel())
                channel->end();
        } else if (verb == QLatin1String("fade")) {
            one.fadeEnds();
            two.fadeEnds();
        } else if (verb == QLatin1String("fail")) {
            if (FakeChannel *channel = onAirChannel())
                channel->fail();
        } else if (verb == QLatin1String("failout")) {
            for (FakeChannel *channel : {&one, &two}) {
                if (channel->fadingOut)
                    channel->fail();
            }
        } else if (verb == QLatin1String("heard")) {
            if (FakeChannel *channel = onAirChannel())
                channel->moveTo(1000);
        } else if (verb == QLatin1String("said")) {
            announcer.speaking = false;
            emit announcer.ended();
        } else if (verb == QLatin1String("retry")) {
            // The pause runs out.
            for (QTimer *timer : retry->findChildren<QTimer *>()) {
                if (timer->isSingleShot())
                    timer->stop();
            }
            emit retry->retryDue();
        } else if (verb == QLatin1String("run")) {
            // A run of failures reported while the item on air plays.
            const int round = int(order.size());
            for (int failure = 0; failure < round && !retry->waiting(); ++failure)
                retry->failed(round, order.front().path);
        } else if (verb == QLatin1String("gone") || verb == QLatin1String("back")) {
            // The on-air entry's file goes away, or comes back.
            const QString file = order[size_t(sequencer->currentIndex())].path;
            const QString away = file + QStringLiteral(".away");
            QVERIFY(verb == QLatin1String("gone") ? QFile::rename(file, away) : QFile::rename(away, file));
        } else if (verb == QLatin1String("mute")) {
            voice = QStringLiteral("missing.mp3");
        } else if (verb == QLatin1String("nofade")) {
            sequencer->setStopFades(false);
        } else if (verb == QLatin1String("cut")) {
            sequencer->setHandOverSeconds(0);
        } else if (verb == QLatin1String("silence")) {
            sequencer->silence();
        } else if (verb == QLatin1String("loop")) {
            // What comes from the event loop: a start passed over, a retry.
            QCoreApplication::processEvents();
        } else {
            QFAIL(qPrintable(QStringLiteral("unknown step ") + step));
        }
    }

    QString state() const
    {
        static const char *const airs[] = {"off", "on", "speaking"};
        QString text = QStringLiteral("%1 row=%2 next=%3%4 one=%5 two=%6")
                           .arg(QLatin1String(airs[int(sequencer->air())]))
                           .arg(sequencer->currentIndex())
                           .arg(sequencer->nextIndex())
                           .arg(sequencer->nextMarked() ? QStringLiteral("*") : QString())
                           .arg(one.shown(), two.shown());
        if (retry->waiting())
            text += QStringLiteral(" resting");
        if (announcer.speaking)
            text += QStringLiteral(" voice");
        if (announcer.speaking && announcer.cues.known())
            text += QStringLiteral("~%1-%2").arg(announcer.cues.start).arg(announcer.cues.end);
        return text;
    }

private slots:
    void initTestCase()
    {
        QVERIFY(media.isValid());
        QVERIFY(QDir().mkpath(media.filePath(QStringLiteral("F"))));
        // The items are there, and play, whenever the preparation looks at
        // them from the event loop; the voice is only looked for.
        for (const char *name : {"a", "b", "c", "d", "e", "j", "j0", "j1", "j2", "j3", "j4", "n", "u", "G/x", "J/x"}) {
            const QString path = media.filePath(QLatin1String(name) + QStringLiteral(".wav"));
            QVERIFY(QDir().mkpath(QFileInfo(path).path()));
            QVERIFY(TestSupport::makeTone(path, 1));
        }
        QFile voice(media.filePath(QStringLiteral("voice.mp3")));
        QVERIFY(voice.open(QIODevice::WriteOnly));
    }

    void init()
    {
        order.clear();
        cues.clear();
        one.Reset();
        two.Reset();
        announcer.speaking = announcer.fadedOut = false;
        voice = QStringLiteral("voice.mp3");
        QFile::rename(media.filePath(QStringLiteral("d.wav.away")), media.filePath(QStringLiteral("d.wav")));
        retry = new PlayoutRetry(this);
        preparation = new Preparation(this);
        fixedStarts = new FixedStarts(this);
        sequencer = new Sequencer(order, one, two, {preparation, retry, &events, &announcer, fixedStarts}, this);
        sequencer->setHandOverSeconds(kHandOverSeconds);
        sequencer->setTimeFile([this] { return media.filePath(voice); });
        sequencer->setCues([this](const QString &path) { return cues.value(path); });
    }

    void cleanup()
    {
        delete sequencer;
        delete fixedStarts;
        delete preparation;
        delete retry;
    }

    void decisions_data()
    {
        QTest::addColumn<QString>("entries");
        QTest::addColumn<QString>("steps");
        QTest::addColumn<QString>("expected");
        const auto rule = [](const char *name, const char *entries, const char *steps, const char *expected) {
            QTest::newRow(name) << QString::fromUtf8(entries) << QString::fromUtf8(steps) << QString::fromUtf8(expected);
        };

        // Music fades in on the free channel, the second first.
        rule("play", "a b", "play", "on row=0 next=1 one=- two=a+");
        rule("hand-over at T", "a b", "play T", "on row=1 next=0 one=b+ two=a>");
        rule("hand-over once", "a b c", "play T T", "on row=1 next=2 one=b+ two=a>");
        rule("the outgoing fade ends", "a b c", "play T fade T", "on row=2 next=0 one=b> two=c+");
        rule("end of an item", "a b", "play end", "on row=1 next=0 one=- two=b+");
        rule("a second before T", "a b", "play T+1", "on row=0 next=1 one=- two=a+");
        rule("music loops", "a b", "play T fade T", "on row=0 next=1 one=b> two=a+");
        rule("Play on air starts again", "a b", "play play", "on row=0 next=1 one=a+ two=a>");
        // With no audible channel, a remaining time of 0:00 is no hand-over.
        rule("no reference, idle", "a b", "cut play fail fail zero", "on row=0 next=1 one=- two=- resting");
        rule("no reference, rising", "a b", "cut play rising zero", "on row=0 next=1 one=- two=a+");
        // A jingle is heard whole, at full volume, and hands over at its end.
        rule("jingle whole", "j a", "play T", "on row=0 next=1 one=- two=j");
        rule("jingle's end", "j a", "play T end", "on row=1 next=0 one=- two=a+");
        rule("music after a jingle", "a j b", "play T fade end", "on row=2 next=0 one=- two=b+");
        rule("music hands over to a jingle", "a j", "play T", "on row=1 next=0 one=j two=a>");
        // A jingle ends while the music before it fades out, a fade that ends
        // with no report: what follows starts at the jingle's end.
        rule("jingle ends during a fade-out", "a j b", "play T end", "on row=2 next=0 one=b+ two=a>");
        rule("music twice after a jingle", "a j b c", "play T fade end T T", "on row=3 next=0 one=c+ two=b>");
        rule("music folder hands over at T", "a G b", "play T fade T+1 T", "on row=2 next=0 one=x> two=b+");
        rule("jingle folder whole", "a J b", "play T fade T", "on row=1 next=2 one=x two=-");
        // The mark: the marked entry follows however the item leaves.
        rule("mark", "a b c", "play mark:2", "on row=0 next=2* one=- two=a+");
        rule("mark at hand-over", "a b c", "play mark:2 T", "on row=2 next=0 one=c+ two=a>");
        rule("mark at end", "a b c", "play mark:2 end", "on row=2 next=0 one=- two=c+");
        rule("mark by Next", "a b c", "play mark:2 next", "on row=2 next=0 one=c+ two=a>");
        rule("mark after a jingle, then the order", "j0 j1 j2 j3", "play mark:2 end end",
             "on row=3 next=0 one=- two=j3");
        rule("mark at T, then the order", "a b c d", "play mark:2 T fade T", "on row=3 next=0 one=c> two=d+");
        rule("marked row removed", "a b c", "play mark:2 remove:2", "on row=0 next=1 one=- two=a+");
        rule("mark moves with an insertion", "a b c", "play mark:2 insert:1", "on row=0 next=3* one=- two=a+");
        // Edits around the air.
        rule("insertion above the air", "a b", "play insert:0", "on row=1 next=2 one=- two=a+");
        rule("on-air row removed", "a b c", "play remove:0 T", "on row=0 next=1 one=b+ two=a>");
        rule("row above the air removed", "a b c", "play next remove:0", "on row=0 next=1 one=b+ two=a>");
        rule("row above removed, the order goes on", "j0 j1 j2 j3 j4", "click:2 remove:0 end end",
             "on row=3 next=0 one=- two=j4");
        rule("on-air row removed, the order goes on", "j0 j1 j2 j3", "click:1 remove:1 end end",
             "on row=2 next=0 one=- two=j3");
        rule("row inserted above, the order goes on", "j0 j1 j2 j3", "click:1 insert:0 end end",
             "on row=4 next=0 one=- two=j3");
        // Next: on at once, but not during a hand-over.
        rule("Next", "a b c", "play next", "on row=1 next=2 one=b+ two=a>");
        rule("Next during a hand-over", "a b c", "play T next", "on row=1 next=2 one=b+ two=a>");
        rule("Next during Next's hand-over", "a b c", "play mark:2 next mark:1 next", "on row=2 next=1* one=c+ two=a>");
        rule("Next off air", "a b", "play stop stop next", "off row=0 next=1 one=- two=-");
        // A double click plays its row on the other channel.
        rule("double click", "a b c", "play click:2", "on row=2 next=0 one=c+ two=a>");
        rule("double click off air", "a b c", "click:1", "on row=1 next=2 one=- two=b+");
        // Time entries speak, and the order goes on when they end.
        rule("time entry", "a t b", "play T", "speaking row=1 next=2 one=- two=a> voice");
        rule("time entry ends", "a t b", "play T fade said", "on row=2 next=0 one=- two=b+");
        rule("time entry first", "t a", "play said", "on row=1 next=0 one=- two=a+");
        // Without its voice a time entry is passed over like a failure.
        rule("voice missing", "t a", "mute play loop", "on row=1 next=0 one=- two=a+");
        rule("voice missing after music", "a t b", "mute play T loop", "on row=2 next=0 one=b+ two=a>");
        rule("voice missing twice", "t t j", "mute play loop loop", "on row=2 next=0 one=- two=j");
        rule("voice missing, nothing else", "t", "mute play loop", "on row=0 next=0 one=- two=- resting");
        rule("voice missing, every file bad", "F t", "mute play loop loop", "on row=0 next=1 one=- two=- resting");
        rule("double click during an announcement", "a t b c", "play T click:3", "on row=3 next=0 one=c+ two=a>");
        rule("Play during an announcement waits", "t a", "play play", "speaking row=0 next=1 one=- two=- voice");
        // Failures: a lone one is passed over on the other channel.
        rule("failure", "a b c", "play fail", "on row=1 next=2 one=b+ two=a!");
        rule("failure of the second item", "a b c", "play T fade fail", "on row=2 next=0 one=b! two=c+");
        rule("failures rest", "a b", "play fail fail", "on row=0 next=1 one=- two=- resting");
        rule("a retry after the rest", "a b", "play fail fail retry", "on row=0 next=1 one=- two=a+");
        // Three in a row make a run; after the rest a failure is the item's
        // own while its file is there, else the same entry waits for it.
        rule("a run rests", "a b c d e", "play fail fail fail", "on row=3 next=4 one=- two=- resting");
        rule("failure after the rest, file there", "a b c d e", "play fail fail fail retry fail",
             "on row=4 next=0 one=- two=- resting");
        rule("failure after the rest, file gone", "a b c d e", "play fail fail fail retry gone fail",
             "on row=3 next=4 one=- two=- resting");
        rule("file back after the rest", "a b c d e", "play fail fail fail retry gone fail back retry",
             "on row=3 next=4 one=- two=d+");
        // The operator takes over from a rest, which ends; a failure after
        // it is a lone one again.
        rule("Play during a rest", "a b c", "play run play fail", "on row=1 next=2 one=a! two=b+");
        rule("Next during a rest", "a b c", "play run next", "on row=1 next=2 one=b+ two=a>");
        rule("Stop during a rest", "a b c", "play run stop", "off row=0 next=1 one=- two=a>");
        rule("double click during a rest", "a b c", "play run click:2", "on row=2 next=0 one=c+ two=a>");
        rule("failure after the hand-over", "a b c", "play T fade T failout", "on row=2 next=0 one=b! two=c+");
        rule("silence", "a b", "play silence", "on row=1 next=0 one=- two=b+");
        // Entries known bad are passed over without a channel.
        rule("bad entry passed over", "a F b", "play T", "on row=2 next=0 one=b+ two=a>");
        rule("bad first entry", "F a", "play", "on row=1 next=0 one=- two=a+");
        rule("folder pick", "G a", "play", "on row=0 next=1 one=- two=x+");
        rule("bad entry after a jingle", "j F a", "play end", "on row=2 next=0 one=- two=a+");
        rule("unknown kind passed over", "j u a", "play end loop loop", "on row=2 next=0 one=- two=a+");
        rule("every entry bad", "F F", "play loop", "on row=1 next=0 one=- two=-");
        // Fixed times: a hard one starts now, a soft one becomes next.
        rule("hard fixed start", "a b c@h", "play due:2", "on row=2 next=0 one=c+ two=a>");
        rule("soft fixed start", "a b c@s", "play due:2", "on row=0 next=2* one=- two=a+");
        rule("soft fixed start plays next", "a b c@s", "play due:2 T", "on row=2 next=0 one=c+ two=a>");
        rule("fixed start off air", "a b c@h", "due:2", "off row=0 next=0 one=- two=-");
        rule("fixed start already on air", "a b@h", "play next due:1", "on row=1 next=0 one=b+ two=a>");
        rule("hard fixed start during an announcement", "t a b@h", "play due:2", "on row=2 next=0 one=- two=b+");
        // Stop fades out, a second Stop cuts; Clear empties.
        rule("Stop", "a b", "play T stop", "off row=0 next=1 one=b> two=a>");
        rule("Stop twice", "a b", "play stop stop", "off row=0 next=1 one=- two=-");
        rule("Stop cuts without its fade", "a b", "nofade play stop", "off row=0 next=1 one=- two=-");
        rule("Stop during a hand-over", "a t b", "nofade play play stop", "off row=0 next=1 one=- two=-");
        rule("Stop during an announcement", "a t b", "nofade play click:1 stop said", "off row=0 next=1 one=- two=-");
        rule("Play after Stop", "a b", "play stop stop play", "on row=0 next=1 one=- two=a+");
        // Both channels fade out: the one chosen cuts its fade.
        rule("Stop then Play", "a b", "play next stop play", "on row=0 next=1 one=a+ two=a>");
        rule("Clear", "a b", "play clear", "off row=0 next=0 one=- two=-");
        rule("Clear during an announcement", "a t b", "play click:1 clear said", "off row=0 next=0 one=- two=-");
        rule("empty order", "", "play next stop", "off row=0 next=0 one=- two=-");
        // With cue points known, items start on their sound and leave on it,
        // timed on the position: music T before its audible end or at its
        // fade, anything else at its audible end.
        rule("music leaves on its sound", "a~2~50 b", "play at:44999 left:1 at:45000", "on row=1 next=0 one=b+ two=a>~2000");
        rule("music leaves at its fade", "a~0~50~42 b~1~59", "play at:41999 at:42000", "on row=1 next=0 one=b+~1000 two=a>~0");
        rule("the fade no earlier than 10 s before the end", "a~0~50~30 b", "play at:39999 at:40000", "on row=1 next=0 one=b+ two=a>~0");
        rule("the last stretch timed", "a~2~50 b", "play at:44900", "on row=0 next=1 one=- two=a+~2000");
        rule("the last stretch passes", "a~2~50 b", "play at:44900 cue", "on row=1 next=0 one=b+ two=a>~2000");
        rule("no timer from afar", "a~2~50 b", "play at:44800 cue", "on row=0 next=1 one=- two=a+~2000");
        rule("the reading is not the moment", "a~0~59.9 b", "play T", "on row=0 next=1 one=- two=a+~0");
        rule("jingle ends at its audible end", "j~1~20 a", "play at:19999 at:20000", "on row=1 next=0 one=a+ two=j>~1000");
        rule("the file's end after the sound's", "j~1~20 t a b", "mute play at:20000 end loop", "on row=2 next=3 one=- two=a+");
        rule("unknown cue points as today", "a~2~50 b", "play at:45000 fade at:50000 T", "on row=0 next=1 one=b> two=a+~2000");
        rule("cue points off as today", "a~2~50 b", "nocue play at:30000 left:30000 at:45000 T", "on row=1 next=0 one=b+ two=a>");
        rule("remaining time to the leaving point", "a~2~50 b", "play at:30000 left:15000", "on row=0 next=1 one=- two=a+~2000");
        rule("the voice on its sound", "a~0~50 t~0.5~3 b", "play at:45000", "speaking row=1 next=2 one=- two=a>~0 voice~500-3000");
    }

    void decisions()
    {
        QFETCH(QString, entries);
        QFETCH(QString, steps);
        makeOrder(entries);
        for (const QString &step : steps.split(QLatin1Char(' ')))
            move(step);
        QTEST(state(), "expected");
    }
};

ORVA_TEST_MAIN(SequencerRules)
#include "tst_sequencerrules.moc"
