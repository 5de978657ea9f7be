// Plays a generated running order on the real desk against the test sound
// server for a number of hand-overs, records the sink the whole time, and
// reports what went on air: hand-overs, silences, how late each hand-over came
// against its mark, what each bad item cost, resident memory, descriptors,
// threads and the warnings logged. Exits 1 on dead air, a skipped or repeated
// item, a hang or resources that keep growing, 3 when the event loop stands
// still, 2 when the media cannot be made, 77 without a test sound server; a
// crash ends it by its signal. Times in the output count from the program's start.
//
// Usage: soak_onair [HAND-OVERS [TRANSITION-SECONDS [FIRST-BAD-KIND]]]
//   HAND-OVERS defaults to 40; TRANSITION-SECONDS (1 or 2) to 1; the bad kinds
//   (0..8, in the order of the report) start at FIRST-BAD-KIND, default 0.
#include "mainwindow.h"
#include "startup.h"
#include "conversioncache.h"
#include "testsupport.h"

#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QFileInfo>
#include <QMutex>
#include <QPushButton>
#include <QRandomGenerator>
#include <QSettings>
#include <QThread>
#include <QTimer>

#include <algorithm>
#include <atomic>
#include <cmath>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <dirent.h>
#include <fcntl.h>
#include <map>
#include <memory>
#include <sys/prctl.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace {

constexpr int kDefaultHandOvers = 40;
constexpr int kDefaultTransition = 1;
constexpr int kSpeedFade = 2;
// Stretches of ten, the last entry of each bad. Every bad kind comes twice per
// pass of the order: once after a jingle, which leaves the air by ending, and
// once after music, which hands over while it still plays.
constexpr int kBadKinds = 9;
constexpr int kStretch = 10;
constexpr int kEntries = 2 * kBadKinds * kStretch;
constexpr int kSkipCode = 77;

constexpr int kSampleRate = 44100;
constexpr int kBytesPerFrame = 4;
// 50 ms: tones on 20 Hz steps hold whole periods, so the Goertzel bins of two
// items never leak into each other.
constexpr int kWindowFrames = kSampleRate / 20;
constexpr double kWindowS = double(kWindowFrames) / kSampleRate;
constexpr int kFirstHz = 300;
constexpr int kHzStep = 40;
constexpr int kAnnouncementHz = 7000;
constexpr double kToneAmplitude = 0.5;
// A tone at the lowest fade step (0.2) still reads 0.1.
constexpr double kTonePresent = 0.02;
constexpr int kHeardWindows = 3;
constexpr double kSilentRms = 0.01;

constexpr int kPollMs = 10;
constexpr int kSampleEveryMs = 2000;
constexpr int kSettleMs = 1200;
constexpr int kLastItemMs = 1500;
constexpr double kLongestGapS = 1.0;
constexpr double kMaxGrowthMb = 20.0;
// Every format, folder and time entry has played once by then.
constexpr int kWarmUpHandOvers = 10;
constexpr int kJudgedHandOvers = 20;
// The watchdog moves a silent desk on after 10 s; much longer means a hang.
constexpr double kNothingNewS = 40.0;
constexpr int kStalledLoopS = 30;
constexpr double kEarlyS = 0.5;
constexpr double kLateNoteS = 1.0;
constexpr double kStallNoteS = 0.25;
constexpr int kNamedSkips = 5;
// Spent recording is given back to the file system in steps this large.
constexpr qint64 kReleaseBytes = qint64(16) << 20;

enum Bad {
    Good = -1,
    Missing,
    ZeroBytes,
    TextAsMp3,
    GarbageAfterHeader,
    CutWav,
    DeletedWhenQueued,
    EmptyFolder,
    FolderWithoutAudio,
    TimeFolderGone,
};

const char *const kBadNames[kBadKinds] = {
    "missing file",         "zero bytes",        "text named .mp3",
    "MP3 garbage frames",   "WAV cut off",       "deleted after queued",
    "empty folder",         "folder, no audio",  "time folder gone",
};

QElapsedTimer theClock;
std::atomic<qint64> heartbeatMs{0};
volatile std::sig_atomic_t handOversSoFar = 0;

double nowS()
{
    return double(theClock.nsecsElapsed()) / 1e9;
}

// What the message handler gathers; it runs on whichever thread logs.
struct Log
{
    QMutex mutex;
    std::map<QString, int> kinds;
    int total = 0;
    std::vector<double> watchdogS;
    std::vector<double> timeMissingS;
} theLog;

QString kindOf(QtMsgType type, const QString &text)
{
    qsizetype end = text.size();
    for (const QChar stop : {QLatin1Char(':'), QLatin1Char('"')}) {
        const qsizetype at = text.indexOf(stop);
        if (at > 0 && at < end)
            end = at;
    }
    QStringList words = text.left(end).simplified().split(QLatin1Char(' '), Qt::SkipEmptyParts);
    if (words.size() > 5)
        words = words.mid(0, 5) << QStringLiteral("...");
    const QString kind = words.join(QLatin1Char(' '));
    return type == QtWarningMsg ? kind : QStringLiteral("(critical) ") + kind;
}

void logMessage(QtMsgType type, const QMessageLogContext &, const QString &text)
{
    const double at = nowS();
    std::fprintf(stderr, "[%9.3f] %s\n", at, qPrintable(text));
    if (type == QtDebugMsg || type == QtInfoMsg)
        return;
    QMutexLocker lock(&theLog.mutex);
    ++theLog.total;
    ++theLog.kinds[kindOf(type, text)];
    if (text.startsWith(QLatin1String("Silence watchdog")))
        theLog.watchdogS.push_back(at);
    else if (text.startsWith(QLatin1String("Time audio not found")))
        theLog.timeMissingS.push_back(at);
}

int countBetween(const std::vector<double> &times, double from, double to)
{
    QMutexLocker lock(&theLog.mutex);
    return int(std::count_if(times.begin(), times.end(),
                             [&](double t) { return t >= from && t <= to; }));
}

// Only async-signal-safe calls: the process is going down.
void onCrash(int sig)
{
    char text[96] = "soak_onair: CRASH, signal ";
    size_t length = std::strlen(text);
    const auto append = [&](long value) {
        char digits[24];
        int n = 0;
        do {
            digits[n++] = char('0' + value % 10);
            value /= 10;
        } while (value > 0 && n < 20);
        while (n > 0)
            text[length++] = digits[--n];
    };
    append(sig);
    const char middle[] = " after ";
    std::memcpy(text + length, middle, sizeof middle - 1);
    length += sizeof middle - 1;
    append(long(handOversSoFar));
    const char tail[] = " hand-overs\n";
    std::memcpy(text + length, tail, sizeof tail - 1);
    length += sizeof tail - 1;
    (void)!::write(STDERR_FILENO, text, length);
    ::raise(sig);
}

struct Resources
{
    double rssMb = 0;
    int fds = 0;
    int threads = 0;
};

Resources sampleResources()
{
    Resources r;
    QFile status(QStringLiteral("/proc/self/status"));
    if (status.open(QIODevice::ReadOnly)) {
        for (const QByteArray &line : status.readAll().split('\n')) {
            if (line.startsWith("VmRSS:"))
                r.rssMb = line.mid(6).trimmed().split(' ').value(0).toDouble() / 1024.0;
            else if (line.startsWith("Threads:"))
                r.threads = line.mid(8).trimmed().toInt();
        }
    }
    if (DIR *fds = ::opendir("/proc/self/fd")) {
        while (const dirent *entry = ::readdir(fds)) {
            if (entry->d_name[0] != '.')
                ++r.fds;
        }
        ::closedir(fds);
        --r.fds; // the listing's own
    }
    return r;
}

// The smallest value of each quarter of the samples: a leak raises every
// quarter's floor, a one-off step or passing peaks do not.
std::vector<double> quarterFloors(const std::vector<double> &values)
{
    std::vector<double> floors;
    const size_t quarter = values.size() / 4;
    if (quarter < 2)
        return floors;
    for (size_t q = 0; q < 4; ++q) {
        const auto first = values.begin() + long(q * quarter);
        const auto last = q == 3 ? values.end() : first + long(quarter);
        floors.push_back(*std::min_element(first, last));
    }
    return floors;
}

bool risesThroughout(const std::vector<double> &floors)
{
    if (floors.size() < 4)
        return false;
    for (size_t i = 1; i < floors.size(); ++i) {
        if (floors[i] <= floors[i - 1])
            return false;
    }
    return true;
}

double median(std::vector<double> values)
{
    if (values.empty())
        return 0;
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

// Amplitude of a sine of `frequency` in the left channel of one window.
double toneAmplitude(const qint16 *frames, int frequency)
{
    const double coefficient = 2.0 * std::cos(2.0 * M_PI * frequency / kSampleRate);
    double s1 = 0.0;
    double s2 = 0.0;
    for (int i = 0; i < kWindowFrames; ++i) {
        const double s0 = frames[2 * i] / 32768.0 + coefficient * s1 - s2;
        s2 = s1;
        s1 = s0;
    }
    const double power = s1 * s1 + s2 * s2 - coefficient * s1 * s2;
    return 2.0 * std::sqrt(std::max(power, 0.0)) / kWindowFrames;
}

struct Entry
{
    Playlist item;
    int bad = Good;
    QString spare; // DeletedWhenQueued: the copy it comes back from
};

// An item on air, followed while its channel still plays it.
struct Track
{
    int entry = -1;
    int channel = -1; // 0 and 1: the two channels, 2: the time player
    QString file;
    qint64 durationMs = 0;
    qint64 lastPosMs = 0;
    double lastPosS = 0;
    qint64 crossPosMs = -1;
    double crossS = 0;
    bool live = false;
};

struct HearCheck
{
    int entry;
    int frequency;
    double fromS;
    double untilS;
    int hits = 0;
};

struct EntryStats
{
    double lastStartS = -1;
    int lastHeard = -1; // -1: not judged
};

// One pass of the desk over a bad entry, between the good items around it.
struct BadPass
{
    int entry;
    double fromS;
    double toS;
    int goodSkipped;
    bool afterMusic;
};

struct BadSummary
{
    int passes = 0;
    int heard = 0;
    int errors = 0;
    int maxErrors = 0;
    int watchdog = 0;
    int timeMissing = 0;
    int goodSkipped = 0;
    double maxSpanS = 0;
    double maxSilenceS = 0;
};

struct Silence
{
    double startS;
    double endS;
};

class Soak : public QObject
{
public:
    Soak(int handOvers, int transition, int firstBad)
        : target(handOvers)
        , transition(transition)
        , firstBad(firstBad)
    {
    }
    ~Soak() override;

    int run();

private:
    bool makeMedia();
    bool tone(const QString &path, double seconds);
    void add(const Playlist &item, int bad = Good);
    bool startRecorder();
    void poll();
    void follow(Track &track, double now);
    void started(int channel, const QString &file, double now);
    void manageBadFiles();
    void readRecording(double now);
    void analyseWindow(const qint16 *frames, double at);
    void closeSilence(double start, double end);
    void judge(HearCheck &check, bool cutShort);
    void settleBadPasses(double recordedTo, bool all);
    void sample();
    void finish(const QString &why = QString());
    void endRun();
    void fault(const QString &text);
    int report();

    bool playing(int channel) const;
    QString fileOf(int channel) const;
    qint64 positionOf(int channel) const;
    qint64 durationOf(int channel) const;
    QVector<int> ownersOf(const QString &played);
    void refreshCopies();
    bool musicLike(int entry) const;
    int nextGood(int entry) const;
    double markOf(const Track &track) const;
    QString describe(int entry) const;
    QString channelName(int channel) const;

    const int target;
    const int transition;
    const int firstBad;

    QString root;
    QString timeDir;
    bool timeDirAway = false;
    std::vector<Entry> entries;
    QHash<QString, int> toneOf;
    QHash<QString, double> secondsOf;
    QHash<QString, QVector<int>> owners;
    QHash<QString, QString> sourceOfCopy;
    QVector<int> timeEntries;
    std::vector<EntryStats> stats;

    std::unique_ptr<MainWindow> desk;
    QEventLoop loop;
    QTimer pollTimer;
    QTimer sampleTimer;
    std::thread hangWatch;
    std::atomic<bool> stopWatch{false};

    // The recording.
    QProcess *recorder = nullptr;
    QString rawPath;
    int rawFd = -1;
    qint64 bytesRead = 0;
    qint64 bytesReleased = 0;
    qint64 windowsDone = 0;
    QByteArray carry;
    std::deque<double> anchors;
    double recordedToS = 0;
    double silenceStartS = -1;
    bool firstSound = false;
    std::deque<Silence> silences;
    std::vector<HearCheck> checks;
    double longestSilenceS = 0;
    double longestSilenceAtS = 0;
    QString longestSilenceWhere;
    int watchdogSilences = 0;
    double watchdogSilenceS = 0;
    int silencesOverLimit = 0;

    // What went on air.
    struct Seen
    {
        bool playing = false;
        QString file;
    } seen[3];
    Track onAir;
    std::deque<std::pair<double, int>> recentStarts;
    int expected = 0;
    int handOvers = 0;
    int goodStarts = 0;
    int shouldHave = 0;
    int heardItems = 0;
    int notHeard = 0;
    int unverified = 0;
    int repeats = 0;
    int skippedGood = 0;
    int unexpectedStarts = 0;
    int earlyHandOvers = 0;
    int goodErrors = 0;
    std::vector<double> lateMusicS;
    std::vector<double> lateEndS;
    std::vector<BadPass> pendingBad;
    std::vector<double> errorTimes;
    BadSummary badSummary[kBadKinds][2]; // [kind][after music]
    double playS = 0;
    double lastStartS = 0;
    double lastPollS = -1;
    double longestStallS = 0;
    double longestStallAtS = 0;
    QString longestStallWhere;
    double finishS = -1;
    bool ended = false;
    bool hung = false;

    // Resources.
    Resources atStart;
    Resources atWarm;
    Resources atEnd;
    bool warm = false;
    int warmAfter = 0;
    std::vector<double> rssSeries;
    std::vector<double> fdSeries;
    std::vector<double> threadSeries;

    QStringList faults;
};

Soak::~Soak()
{
    stopWatch = true;
    if (hangWatch.joinable())
        hangWatch.join();
    if (recorder) {
        recorder->kill();
        recorder->waitForFinished();
        delete recorder;
    }
    if (rawFd >= 0)
        ::close(rawFd);
    QFile::remove(rawPath);
}

bool Soak::tone(const QString &path, double seconds)
{
    const int frequency = kFirstHz + kHzStep * int(toneOf.size());
    toneOf.insert(path, frequency);
    secondsOf.insert(path, seconds);
    return TestSupport::makeTone(path, seconds, frequency, kToneAmplitude);
}

void Soak::add(const Playlist &item, int bad)
{
    const int index = int(entries.size());
    entries.push_back({item, bad, QString()});
    if (item.kind == QLatin1String("time")) {
        timeEntries.append(index);
    } else if (item.kind.startsWith(QLatin1String("folder-"))) {
        for (const QFileInfo &file : QDir(item.path).entryInfoList(QDir::Files))
            owners[file.absoluteFilePath()].append(index);
    } else {
        owners[item.path].append(index);
    }
}

bool Soak::makeMedia()
{
    root = TestSupport::privateRoot() + QStringLiteral("/onair");
    timeDir = root + QStringLiteral("/time");
    const QString spares = root + QStringLiteral("/spares");
    const QString musicFolder = root + QStringLiteral("/folder-music");
    const QString jingleFolder = root + QStringLiteral("/folder-jingle");
    for (const QString &folder : {timeDir, spares, musicFolder, jingleFolder})
        QDir().mkpath(folder);

    // Music must outlast its hand-over mark, T + 1 s before its end.
    const double shortMusic = std::max(3.5, transition + 2.5);
    const double longMusic = std::max(4.0, transition + 2.5);
    bool ok = true;
    const auto note = [](const QString &path, const QByteArray &text) {
        QFile file(path);
        return file.open(QIODevice::WriteOnly) && file.write(text) == text.size();
    };
    ok = ok && tone(musicFolder + QStringLiteral("/one.wav"), shortMusic)
         && tone(musicFolder + QStringLiteral("/two.mp3"), longMusic)
         && tone(musicFolder + QStringLiteral("/three.flac"), shortMusic)
         && note(musicFolder + QStringLiteral("/notes.txt"), "running order notes\n");
    ok = ok && tone(jingleFolder + QStringLiteral("/one.ogg"), 2.0)
         && tone(jingleFolder + QStringLiteral("/two.wav"), 2.5)
         && note(jingleFolder + QStringLiteral("/notes.txt"), "station idents\n");

    // One announcement under every name of the 12-hour dial, as hard links.
    const QString announcement = spares + QStringLiteral("/announcement.mp3");
    ok = ok && TestSupport::makeTone(announcement, 2.0, kAnnouncementHz, kToneAmplitude);
    for (int hour = 0; ok && hour <= 12; ++hour) {
        for (int minute = 0; ok && minute < 60; ++minute) {
            const QString name = QStringLiteral("%1/%2%3.mp3")
                                     .arg(timeDir)
                                     .arg(hour, 2, 10, QLatin1Char('0'))
                                     .arg(minute, 2, 10, QLatin1Char('0'));
            ok = ::link(QFile::encodeName(announcement).constData(),
                        QFile::encodeName(name).constData())
                     == 0
                 || QFile::copy(announcement, name);
        }
    }
    secondsOf.insert(timeDir, 2.0);
    if (!ok)
        return false;

    static const char *const pattern[kStretch - 1] = {"music", "music", "jingle", "music",
                                                      "folder-music", "time", "music",
                                                      "folder-jingle", "jingle"};
    const int beforeBad = kStretch - 2;
    static const char *const formats[4] = {"wav", "mp3", "ogg", "flac"};
    const Playlist timeItem = {QStringLiteral("Hora Certa"), QString(), QStringLiteral("--:--"),
                               QStringLiteral("time")};
    for (int p = 0; ok && p < kEntries; ++p) {
        const int stretch = p / kStretch;
        const int place = p % kStretch;
        if (place < kStretch - 1) {
            const QString kind = place == beforeBad && stretch % 2 ? QStringLiteral("music")
                                                                   : QLatin1String(pattern[place]);
            if (kind == QLatin1String("time")) {
                add(timeItem);
            } else if (kind.startsWith(QLatin1String("folder-"))) {
                const QString folder =
                    kind == QLatin1String("folder-music") ? musicFolder : jingleFolder;
                add({QFileInfo(folder).fileName(), folder, QStringLiteral("--:--"), kind});
            } else {
                const double seconds = kind == QLatin1String("music")
                                           ? (p % 2 ? longMusic : shortMusic)
                                           : 2.0 + 0.5 * (p % 3);
                const QString path = QStringLiteral("%1/%2-%3.%4")
                                         .arg(root, kind)
                                         .arg(p, 2, 10, QLatin1Char('0'))
                                         .arg(QLatin1String(formats[(p + stretch) % 4]));
                ok = tone(path, seconds);
                add({QFileInfo(path).completeBaseName(), path, QStringLiteral("00:04"), kind});
            }
            continue;
        }

        const int bad = (stretch + firstBad) % kBadKinds;
        const QString base = QStringLiteral("%1/bad-%2").arg(root).arg(p);
        const auto file = [&](const char *suffix, const char *kind) {
            const QString path = base + QLatin1String(suffix);
            add({QFileInfo(path).completeBaseName(), path, QStringLiteral("00:03"),
                 QLatin1String(kind)},
                bad);
            return path;
        };
        switch (bad) {
        case Missing:
            file(".flac", "music");
            break;
        case ZeroBytes:
            ok = note(file(".mp3", "jingle"), QByteArray());
            break;
        case TextAsMp3:
            ok = note(file(".mp3", "music"),
                      QByteArray("This is the running order, not audio.\n").repeated(40));
            break;
        case GarbageAfterHeader: {
            const QString path = file(".mp3", "jingle");
            ok = tone(path, 3.0) && TestSupport::garbleAfterHeader(path);
            break;
        }
        case CutWav: {
            const QString path = file(".wav", "music");
            ok = tone(path, shortMusic) && QFile(path).resize(QFileInfo(path).size() * 2 / 5);
            break;
        }
        case DeletedWhenQueued: {
            const QString path = file(".wav", "jingle");
            entries.back().spare = spares + QStringLiteral("/deleted-%1.wav").arg(p);
            ok = tone(entries.back().spare, 2.5) && QFile::copy(entries.back().spare, path);
            toneOf.insert(path, toneOf.value(entries.back().spare));
            secondsOf.insert(path, 2.5);
            break;
        }
        case EmptyFolder:
            QDir().mkpath(base);
            add({QStringLiteral("empty"), base, QStringLiteral("--:--"),
                 QStringLiteral("folder-music")},
                bad);
            break;
        case FolderWithoutAudio:
            QDir().mkpath(base);
            ok = note(base + QStringLiteral("/readme.txt"), "no audio here\n");
            add({QStringLiteral("texts"), base, QStringLiteral("--:--"),
                 QStringLiteral("folder-jingle")},
                bad);
            break;
        case TimeFolderGone:
            add(timeItem, bad);
            break;
        }
    }
    stats.assign(entries.size(), EntryStats());
    refreshCopies();
    return ok;
}

void Soak::refreshCopies()
{
    sourceOfCopy.clear();
    for (auto it = owners.cbegin(); it != owners.cend(); ++it) {
        if (ConversionCache::isMp3(it.key()))
            sourceOfCopy.insert(ConversionCache::cacheFileFor(it.key()), it.key());
    }
}

QVector<int> Soak::ownersOf(const QString &played)
{
    if (played.startsWith(timeDir + QLatin1Char('/')))
        return timeEntries;
    if (!owners.contains(played) && !sourceOfCopy.contains(played))
        refreshCopies();
    return owners.value(sourceOfCopy.value(played, played));
}

bool Soak::musicLike(int entry) const
{
    const QString &kind = entries[size_t(entry)].item.kind;
    return kind == QLatin1String("music") || kind == QLatin1String("folder-music");
}

int Soak::nextGood(int entry) const
{
    for (int step = 1; step <= kEntries; ++step) {
        const int candidate = (entry + step) % kEntries;
        if (entries[size_t(candidate)].bad == Good)
            return candidate;
    }
    return entry;
}

QString Soak::describe(int entry) const
{
    const Entry &e = entries[size_t(entry)];
    QString what = e.item.kind;
    if (!e.item.path.isEmpty())
        what += QLatin1Char(' ') + QFileInfo(e.item.path).fileName();
    if (e.bad != Good)
        what += QStringLiteral(" [%1]").arg(QLatin1String(kBadNames[e.bad]));
    return QStringLiteral("#%1 %2").arg(entry).arg(what);
}

QString Soak::channelName(int channel) const
{
    return channel == 2 ? QStringLiteral("time player")
                        : QStringLiteral("player%1").arg(channel + 1);
}

bool Soak::playing(int channel) const
{
    if (channel == 2)
        return desk->timePlayer->playbackState() == QMediaPlayer::PlayingState;
    return (channel == 0 ? desk->player1 : desk->player2).isPlaying();
}

QString Soak::fileOf(int channel) const
{
    if (channel == 2)
        return desk->timePlayer->source().toLocalFile();
    return (channel == 0 ? desk->player1 : desk->player2).file();
}

qint64 Soak::positionOf(int channel) const
{
    if (channel == 2)
        return desk->timePlayer->position();
    return (channel == 0 ? desk->player1 : desk->player2).getPosition();
}

qint64 Soak::durationOf(int channel) const
{
    if (channel == 2)
        return desk->timePlayer->duration();
    return (channel == 0 ? desk->player1 : desk->player2).getDuration();
}

void Soak::fault(const QString &text)
{
    std::printf("[%9.3f] FAULT: %s\n", nowS(), qPrintable(text));
    faults.append(text);
}

bool Soak::startRecorder()
{
    rawPath = QDir::tempPath() + QStringLiteral("/onair-recording.raw");
    QFile::remove(rawPath);
    recorder = new QProcess;
    recorder->setStandardOutputFile(rawPath);
    // A recorder outliving a crashed soak would fill the disk.
    recorder->setChildProcessModifier([] { ::prctl(PR_SET_PDEATHSIG, SIGTERM); });
    const QString monitor =
        qEnvironmentVariable("ORVARADIO_TEST_SINK") + QStringLiteral(".monitor");
    recorder->start(QStringLiteral("parec"),
                    {QStringLiteral("--latency-msec=20"), QStringLiteral("-d"), monitor,
                     QStringLiteral("--format=s16le"), QStringLiteral("--rate=44100"),
                     QStringLiteral("--channels=2"), QStringLiteral("--raw")});
    if (!recorder->waitForStarted())
        return false;
    QElapsedTimer waited;
    waited.start();
    while (QFileInfo(rawPath).size() == 0 && waited.elapsed() < 5000)
        QThread::msleep(10);
    rawFd = ::open(QFile::encodeName(rawPath).constData(), O_RDONLY);
    return rawFd >= 0 && QFileInfo(rawPath).size() > 0;
}

void Soak::readRecording(double now)
{
    char buffer[1 << 16];
    qint64 fresh = 0;
    for (;;) {
        const ssize_t got = ::read(rawFd, buffer, sizeof buffer);
        if (got <= 0)
            break;
        carry.append(buffer, qsizetype(got));
        fresh += got;
        if (fresh >= (qint64(1) << 20))
            break;
    }
    if (fresh == 0 && carry.size() < kWindowFrames * kBytesPerFrame)
        return;
    bytesRead += fresh;
    // Where the recording's first frame lies on the soak's clock: the read that
    // followed a delivery most closely tells it best.
    anchors.push_back(now - double(bytesRead / kBytesPerFrame) / kSampleRate);
    if (anchors.size() > 300)
        anchors.pop_front();
    const double anchor = *std::min_element(anchors.begin(), anchors.end());

    const qsizetype windowBytes = kWindowFrames * kBytesPerFrame;
    qsizetype offset = 0;
    while (carry.size() - offset >= windowBytes) {
        analyseWindow(reinterpret_cast<const qint16 *>(carry.constData() + offset),
                      anchor + double(windowsDone) * kWindowS);
        ++windowsDone;
        offset += windowBytes;
    }
    carry.remove(0, offset);

    const qint64 spent = (bytesRead - carry.size()) / 4096 * 4096;
    if (spent - bytesReleased >= kReleaseBytes) {
        ::fallocate(rawFd, FALLOC_FL_PUNCH_HOLE | FALLOC_FL_KEEP_SIZE, 0, spent);
        bytesReleased = spent;
    }
}

void Soak::analyseWindow(const qint16 *frames, double at)
{
    if (at < playS || (finishS > 0 && at >= finishS))
        return;
    recordedToS = at + kWindowS;
    double sum = 0;
    for (int i = 0; i < 2 * kWindowFrames; ++i) {
        const double x = frames[i] / 32768.0;
        sum += x * x;
    }
    const bool sound = std::sqrt(sum / (2 * kWindowFrames)) >= kSilentRms;
    if (sound) {
        firstSound = true;
        if (silenceStartS >= 0) {
            closeSilence(silenceStartS, at);
            silenceStartS = -1;
        }
    } else if (firstSound && silenceStartS < 0) {
        silenceStartS = at;
    }

    for (auto it = checks.begin(); it != checks.end();) {
        if (at > it->untilS) {
            judge(*it, false);
            it = checks.erase(it);
            continue;
        }
        if (at + kWindowS >= it->fromS && toneAmplitude(frames, it->frequency) > kTonePresent)
            ++it->hits;
        ++it;
    }
    settleBadPasses(recordedToS, false);
}

void Soak::closeSilence(double start, double end)
{
    silences.push_back({start, end});
    while (!silences.empty() && silences.front().endS < end - 120)
        silences.pop_front();

    // The watchdog's own skip ends the silence it measured; what follows the
    // skip still counts.
    double lastSkip = -1;
    {
        QMutexLocker lock(&theLog.mutex);
        for (double t : theLog.watchdogS) {
            if (t >= start - 0.1 && t <= end + 0.6)
                lastSkip = std::max(lastSkip, t);
        }
    }
    double counted = end - start;
    if (lastSkip >= 0) {
        ++watchdogSilences;
        watchdogSilenceS = std::max(watchdogSilenceS, end - start);
        counted = std::max(0.0, end - std::max(lastSkip, start));
    }
    if (counted <= longestSilenceS && counted <= kLongestGapS)
        return;

    int before = -1;
    int after = -1;
    for (const auto &[t, entry] : recentStarts) {
        if (t <= start)
            before = entry;
        else if (after < 0 && t >= start)
            after = entry;
    }
    const QString on = before >= 0 ? describe(before) : QStringLiteral("-");
    const QString where = after >= 0
                              ? QStringLiteral("after %1, before %2").arg(on, describe(after))
                              : QStringLiteral("while %1 was on air").arg(on);
    if (counted > longestSilenceS) {
        longestSilenceS = counted;
        longestSilenceAtS = start;
        longestSilenceWhere = where;
    }
    if (counted > kLongestGapS) {
        ++silencesOverLimit;
        fault(QStringLiteral("%1 s of silence from %2 s, %3")
                  .arg(counted, 0, 'f', 2)
                  .arg(start, 0, 'f', 2)
                  .arg(where));
    }
}

void Soak::judge(HearCheck &check, bool cutShort)
{
    const bool heard = check.hits >= kHeardWindows;
    EntryStats &s = stats[size_t(check.entry)];
    s.lastHeard = heard ? 1 : 0;
    if (entries[size_t(check.entry)].bad != Good)
        return;
    if (heard) {
        ++heardItems;
    } else if (cutShort) {
        ++unverified;
    } else {
        ++notHeard;
        fault(QStringLiteral("%1 started at %2 s but its tone was not heard")
                  .arg(describe(check.entry))
                  .arg(check.fromS, 0, 'f', 2));
    }
}

void Soak::settleBadPasses(double recordedTo, bool all)
{
    for (auto it = pendingBad.begin(); it != pendingBad.end();) {
        const bool checking = std::any_of(checks.begin(), checks.end(),
                                          [&](const HearCheck &c) { return c.entry == it->entry; });
        if (!all && (recordedTo < it->toS + 1.0 || checking)) {
            ++it;
            continue;
        }
        const BadPass pass = *it;
        it = pendingBad.erase(it);
        const EntryStats &s = stats[size_t(pass.entry)];
        const Entry &entry = entries[size_t(pass.entry)];
        const double from = pass.fromS - 0.3;
        const double to = pass.toS + 1.0;
        double silence = 0;
        std::vector<Silence> around(silences.begin(), silences.end());
        if (silenceStartS >= 0)
            around.push_back({silenceStartS, recordedTo});
        for (const Silence &quiet : around) {
            const double overlap = std::min(quiet.endS, to) - std::max(quiet.startS, from);
            silence = std::max(silence, overlap);
        }
        const int errors = int(std::count_if(errorTimes.begin(), errorTimes.end(), [&](double t) {
            return t >= pass.fromS - 0.1 && t <= pass.toS + 0.5;
        }));
        const int watchdog = countBetween(theLog.watchdogS, pass.fromS - 0.1, pass.toS + 0.5);
        const int timeMissing = countBetween(theLog.timeMissingS, pass.fromS - 0.1, pass.toS + 0.5);
        const bool startedHere = s.lastStartS >= pass.fromS - 0.5 && s.lastStartS <= pass.toS;
        const bool heard = startedHere && s.lastHeard == 1;

        BadSummary &sum = badSummary[entry.bad][pass.afterMusic];
        ++sum.passes;
        sum.heard += heard;
        sum.errors += errors;
        sum.maxErrors = std::max(sum.maxErrors, errors);
        sum.watchdog += watchdog;
        sum.timeMissing += timeMissing;
        sum.goodSkipped += pass.goodSkipped;
        sum.maxSpanS = std::max(sum.maxSpanS, pass.toS - pass.fromS);
        sum.maxSilenceS = std::max(sum.maxSilenceS, silence);
        const QString outcome =
            QStringLiteral("%1 at %2 s: next good item %3 s after the mark, silence %4 s, "
                           "errors %5, watchdog skips %6, time-file misses %7, %8, "
                           "good items skipped %9")
                .arg(describe(pass.entry))
                .arg(pass.fromS, 0, 'f', 2)
                .arg(pass.toS - pass.fromS, 0, 'f', 2)
                .arg(silence, 0, 'f', 2)
                .arg(errors)
                .arg(watchdog)
                .arg(timeMissing)
                .arg(heard         ? QStringLiteral("sounded")
                     : startedHere ? QStringLiteral("tried, not heard")
                                   : QStringLiteral("never started"))
                .arg(pass.goodSkipped);
        std::printf("[%9.3f] bad item passed: %s\n", nowS(), qPrintable(outcome));
    }
}

void Soak::follow(Track &track, double now)
{
    if (!track.live)
        return;
    if (!playing(track.channel) || fileOf(track.channel) != track.file) {
        track.live = false;
        return;
    }
    const qint64 duration = durationOf(track.channel);
    if (duration > 0)
        track.durationMs = duration;
    const qint64 position = positionOf(track.channel);
    // A stamp for the first sight of each position: the clock stood there then.
    if (position > track.lastPosMs) {
        track.lastPosMs = position;
        track.lastPosS = now;
    }
    if (track.crossPosMs < 0 && musicLike(track.entry) && track.durationMs > 0
        && position > track.durationMs - (transition + 1) * 1000) {
        track.crossPosMs = position;
        track.crossS = now;
    }
}

double Soak::markOf(const Track &track) const
{
    // A music item's mark: the first moment its remaining time reads 0:T.
    if (musicLike(track.entry)) {
        const qint64 threshold = track.durationMs - (transition + 1) * 1000;
        if (track.crossPosMs >= 0)
            return track.crossS - double(track.crossPosMs - threshold) / 1000;
        return track.lastPosS + double(threshold - track.lastPosMs) / 1000;
    }
    // Anything else hands over at its end.
    return track.lastPosS + double(track.durationMs - track.lastPosMs) / 1000;
}

void Soak::started(int channel, const QString &file, double now)
{
    const QVector<int> candidates = ownersOf(file);
    if (candidates.isEmpty()) {
        ++unexpectedStarts;
        fault(QStringLiteral("%1 started a file of no entry: %2").arg(channelName(channel), file));
        return;
    }
    // The desk names the entry it started, unless it has moved on already.
    int entry = -1;
    if (candidates.contains(desk->sequencer->currentIndex())) {
        entry = desk->sequencer->currentIndex();
    } else if (candidates.contains(expected)) {
        entry = expected;
    } else if (onAir.entry >= 0 && candidates.contains(onAir.entry)) {
        entry = onAir.entry;
    } else {
        int best = kEntries;
        for (int candidate : candidates) {
            const int distance = (candidate - expected + kEntries) % kEntries;
            if (distance < best) {
                best = distance;
                entry = candidate;
            }
        }
    }
    const QString source = channel == 2 ? timeDir : sourceOfCopy.value(file, file);
    const int frequency = channel == 2 ? kAnnouncementHz : toneOf.value(source);
    const double seconds = secondsOf.value(source);

    if (entries[size_t(entry)].bad != Good) {
        stats[size_t(entry)].lastStartS = now;
        stats[size_t(entry)].lastHeard = -1;
        if (frequency > 0)
            checks.push_back({entry, frequency, now - 0.3, now + seconds + 1.0});
        return;
    }

    if (onAir.entry < 0) {
        shouldHave = 1;
    } else {
        ++handOvers;
        handOversSoFar = handOvers;
        const double late = now - markOf(onAir);
        const bool again = entry == onAir.entry;
        QVector<int> passed;
        for (int i = (onAir.entry + 1) % kEntries; !again && i != entry; i = (i + 1) % kEntries)
            passed.append(i);
        int goodSkipped = 0;
        QStringList skippedNames;
        for (int i : passed) {
            if (entries[size_t(i)].bad == Good && ++goodSkipped <= kNamedSkips)
                skippedNames.append(describe(i));
        }
        shouldHave += again ? 0 : 1 + goodSkipped;
        if (again) {
            ++repeats;
            fault(QStringLiteral("%1 played twice in a row (again on %2)")
                      .arg(describe(entry), channelName(channel)));
        }
        if (goodSkipped > 0) {
            skippedGood += goodSkipped;
            if (goodSkipped > kNamedSkips)
                skippedNames.append(QStringLiteral("%1 more").arg(goodSkipped - kNamedSkips));
            fault(QStringLiteral("from %1 to %2 the desk skipped %3")
                      .arg(describe(onAir.entry), describe(entry),
                           skippedNames.join(QStringLiteral(", "))));
        }
        if (!again && passed.isEmpty()) {
            (musicLike(onAir.entry) ? lateMusicS : lateEndS).push_back(late);
            if (late < -kEarlyS) {
                ++earlyHandOvers;
                std::printf("[%9.3f] note: %s handed over %.2f s before its mark\n", now,
                            qPrintable(describe(onAir.entry)), -late);
            } else if (late > kLateNoteS) {
                std::printf("[%9.3f] note: %s handed over %.2f s after its mark, to %s\n", now,
                            qPrintable(describe(onAir.entry)), late, qPrintable(describe(entry)));
            }
        }
        for (int i : passed) {
            if (entries[size_t(i)].bad != Good)
                pendingBad.push_back({i, now - late, now, goodSkipped, musicLike(onAir.entry)});
        }
    }

    ++goodStarts;
    stats[size_t(entry)].lastStartS = now;
    recentStarts.emplace_back(now, entry);
    if (recentStarts.size() > 200)
        recentStarts.pop_front();
    checks.push_back({entry, frequency, now - 0.3, now + seconds + 1.0});

    onAir = Track();
    onAir.entry = entry;
    onAir.channel = channel;
    onAir.file = file;
    onAir.durationMs = qint64(seconds * 1000);
    onAir.lastPosS = now;
    onAir.live = true;
    expected = nextGood(entry);
    lastStartS = now;

    if (!warm && handOvers >= warmAfter) {
        warm = true;
        atWarm = sampleResources();
    }
    if (handOvers > 0 && handOvers % 10 == 0) {
        const Resources r = sampleResources();
        std::printf("[%9.3f] %d hand-overs, on air %s; RSS %.1f MB, fds %d, threads %d\n", now,
                    handOvers, qPrintable(describe(entry)), r.rssMb, r.fds, r.threads);
    }
    if (handOvers == target)
        QTimer::singleShot(kLastItemMs, this, [this] { finish(); });
}

void Soak::manageBadFiles()
{
    const int current = desk->sequencer->currentIndex();
    bool timeEntryNext = false;
    for (size_t i = 0; i < entries.size(); ++i) {
        const Entry &entry = entries[i];
        const int ahead = (int(i) - current + kEntries) % kEntries;
        if (entry.bad == DeletedWhenQueued) {
            // Back in the running order well before its turn, gone just before it.
            if (ahead == 3 && !QFileInfo::exists(entry.item.path))
                QFile::copy(entry.spare, entry.item.path);
            else if (ahead == 1 && desk->sequencer->onAir() && QFileInfo::exists(entry.item.path))
                QFile::remove(entry.item.path);
        } else if (entry.bad == TimeFolderGone && ahead <= 1) {
            timeEntryNext = true;
        }
    }
    // One setting names the folder of every time entry: it is away only while
    // a bad time entry is next or current, and never taken from an announcement.
    const QString away = timeDir + QStringLiteral(".away");
    if (timeEntryNext && desk->sequencer->onAir() && !timeDirAway && !playing(2) && current >= 0
        && entries[size_t(current)].item.kind != QLatin1String("time"))
        timeDirAway = QDir().rename(timeDir, away);
    else if (!timeEntryNext && timeDirAway)
        timeDirAway = !QDir().rename(away, timeDir);
}

void Soak::poll()
{
    const double now = nowS();
    heartbeatMs = theClock.elapsed();
    if (lastPollS > 0 && finishS < 0 && now - lastPollS > longestStallS) {
        longestStallS = now - lastPollS;
        longestStallAtS = lastPollS;
        longestStallWhere = onAir.entry >= 0 ? describe(desk->sequencer->currentIndex()) : QStringLiteral("-");
    }
    if (lastPollS > 0 && now - lastPollS > kStallNoteS)
        std::printf("[%9.3f] note: the event loop stood still for %.0f ms, entry %s current\n", now,
                    (now - lastPollS) * 1000, qPrintable(describe(desk->sequencer->currentIndex())));
    lastPollS = now;
    readRecording(now);
    if (ended)
        return;
    if (finishS > 0) {
        if (recordedToS >= finishS || now > finishS + 3.0)
            endRun();
        return;
    }
    follow(onAir, now);
    for (int channel = 0; channel < 3; ++channel) {
        const bool on = playing(channel);
        const QString file = on ? fileOf(channel) : QString();
        if (on && !file.isEmpty() && (!seen[channel].playing || file != seen[channel].file))
            started(channel, file, now);
        seen[channel] = {on, file};
    }
    manageBadFiles();
    if (now - lastStartS > kNothingNewS) {
        hung = true;
        finish(QStringLiteral("nothing new went on air for %1 s").arg(kNothingNewS));
    }
}

void Soak::sample()
{
    if (!warm || finishS > 0)
        return;
    const Resources r = sampleResources();
    rssSeries.push_back(r.rssMb);
    fdSeries.push_back(r.fds);
    threadSeries.push_back(r.threads);
}

void Soak::finish(const QString &why)
{
    if (finishS > 0)
        return;
    if (!why.isEmpty())
        fault(QStringLiteral("HANG: ") + why);
    atEnd = sampleResources();
    finishS = nowS();
}

void Soak::endRun()
{
    ended = true;
    if (silenceStartS >= 0)
        closeSilence(silenceStartS, std::min(recordedToS, finishS));
    for (HearCheck &check : checks)
        judge(check, check.hits < kHeardWindows
                         && finishS - check.fromS < kLastItemMs / 1000.0 + 0.5);
    checks.clear();
    settleBadPasses(recordedToS, true);
    desk->findChild<QPushButton *>(QStringLiteral("btn_stop"))->click();
    loop.quit();
}

int Soak::run()
{
    std::printf("soak_onair: Qt %s, %d hand-overs asked, TransitionAudioTime %d s, speedFade %d, "
                "sink %s\n",
                qVersion(), target, transition, kSpeedFade,
                qPrintable(qEnvironmentVariable("ORVARADIO_TEST_SINK")));
    QElapsedTimer making;
    making.start();
    if (!makeMedia()) {
        std::printf("could not make the media in %s\n", qPrintable(root));
        return 2;
    }
    int bad = 0;
    for (const Entry &e : entries)
        bad += e.bad != Good;
    std::printf("running order: %d entries, %d bad (one in ten, kinds from %d: %s first), "
                "%lld tones made in %.1f s\n",
                int(entries.size()), bad, firstBad, kBadNames[firstBad], qint64(toneOf.size()),
                double(making.elapsed()) / 1000);

    TestSupport::clearSettings();
    {
        QSettings settings(QStringLiteral("OrvaRadio"), QStringLiteral("OrvaRadio"));
        settings.setValue(QStringLiteral("volume/TransitionAudioTime"), transition);
        settings.setValue(QStringLiteral("volume/speedFade"), kSpeedFade);
        settings.setValue(QStringLiteral("files/audioTimeDir"), timeDir);
        settings.setValue(QStringLiteral("files/defaultDir"), root);
        settings.setValue(QStringLiteral("files/jingleDir"), root);
    }
    desk = std::make_unique<MainWindow>();
    desk->show();
    std::vector<Playlist> order;
    for (const Entry &e : entries)
        order.push_back(e.item);
    desk->playlist = order;
    desk->updateAudioList();

    for (AudioPlayer *player : {&desk->player1, &desk->player2}) {
        // Counted by time, not by the file named: a report may arrive once the
        // channel holds the next item.
        connect(player, &AudioPlayer::mediaError, this,
                [this](const QString &file, const QString &) {
                    errorTimes.push_back(nowS());
                    const QVector<int> owner = ownersOf(file);
                    if (!owner.isEmpty() && entries[size_t(owner.first())].bad == Good) {
                        ++goodErrors;
                        std::printf("[%9.3f] note: an error report names a playable item: %s\n",
                                    nowS(), qPrintable(file));
                    }
                });
    }

    if (!startRecorder()) {
        std::printf("could not record the sink %s\n",
                    qPrintable(qEnvironmentVariable("ORVARADIO_TEST_SINK")));
        return 2;
    }
    QTest::qWait(kSettleMs);
    atStart = sampleResources();
    warmAfter = std::min(kWarmUpHandOvers, std::max(1, target / 2));

    hangWatch = std::thread([this] {
        while (!stopWatch) {
            std::this_thread::sleep_for(std::chrono::milliseconds(500));
            if (theClock.elapsed() - heartbeatMs > kStalledLoopS * 1000) {
                std::fprintf(stderr, "soak_onair: HANG, the event loop has not turned for %d s "
                                     "after %d hand-overs\n",
                             kStalledLoopS, int(handOversSoFar));
                std::fflush(stderr);
                // Where the GUI thread stands, when a debugger is at hand.
                const QByteArray where = "gdb -p " + QByteArray::number(qint64(::getpid()))
                                         + " -batch -ex 'thread apply 1 bt 40' 1>&2 2>/dev/null";
                (void)!std::system(where.constData());
                ::_exit(3);
            }
        }
    });

    pollTimer.setTimerType(Qt::PreciseTimer);
    connect(&pollTimer, &QTimer::timeout, this, &Soak::poll);
    connect(&sampleTimer, &QTimer::timeout, this, &Soak::sample);
    // Generous: every hand-over could cost a watchdog skip.
    const int deadlineS = 60 + target * 15;
    QTimer::singleShot(deadlineS * 1000, this, [this, deadlineS] {
        hung = true;
        finish(QStringLiteral("the run did not end within %1 s").arg(deadlineS));
    });

    readRecording(nowS());
    playS = nowS();
    lastStartS = playS;
    heartbeatMs = theClock.elapsed();
    pollTimer.start(kPollMs);
    sampleTimer.start(kSampleEveryMs);
    desk->findChild<QPushButton *>(QStringLiteral("btn_play"))->click();
    loop.exec();
    pollTimer.stop();
    sampleTimer.stop();
    stopWatch = true;
    hangWatch.join();
    if (timeDirAway)
        QDir().rename(timeDir + QStringLiteral(".away"), timeDir);
    return report();
}

int Soak::report()
{
    const double ran = finishS - playS;
    std::printf("\n==== on-air soak report (Qt %s) ====\n", qVersion());
    std::printf("hand-overs done:     %d of %d in %.1f s (Play at %.1f s)\n", handOvers, target,
                ran, playS);
    std::printf("playable items:      %d should have sounded, %d started, %d heard "
                "(not heard %d, too late to judge %d), skipped %d, twice in a row %d, "
                "unknown starts %d, error reports naming one %d\n",
                shouldHave, goodStarts, heardItems, notHeard, unverified, skippedGood, repeats,
                unexpectedStarts, goodErrors);
    std::printf("longest silence:     %.2f s (at %.1f s, %s)\n", longestSilenceS,
                longestSilenceAtS,
                longestSilenceWhere.isEmpty() ? "-" : qPrintable(longestSilenceWhere));
    std::printf("                     over %.1f s: %d; watchdog skips: %d silences left out, "
                "longest %.2f s\n",
                kLongestGapS, silencesOverLimit, watchdogSilences, watchdogSilenceS);
    const auto lateness = [](const char *what, const std::vector<double> &late) {
        if (late.empty()) {
            std::printf("  %-28s none\n", what);
            return;
        }
        std::printf("  %-28s median %4.0f ms, max %4.0f ms, min %4.0f ms over %d\n", what,
                    median(late) * 1000, *std::max_element(late.begin(), late.end()) * 1000,
                    *std::min_element(late.begin(), late.end()) * 1000, int(late.size()));
    };
    std::printf("event loop:          longest stall %.0f ms (at %.1f s, entry %s current)\n",
                longestStallS * 1000, longestStallAtS, qPrintable(longestStallWhere));
    std::vector<double> all = lateMusicS;
    all.insert(all.end(), lateEndS.begin(), lateEndS.end());
    std::printf("hand-over lateness against the mark (clean hand-overs; "
                "%d more than %.1f s early):\n",
                earlyHandOvers, kEarlyS);
    lateness("all", all);
    lateness("music at 0:T remaining", lateMusicS);
    lateness("at the end of the item", lateEndS);

    std::printf("bad items (gap: from the mark before it to the next good start; silence: "
                "longest in the recording around it):\n");
    std::printf("  %-22s %-7s %6s %8s %9s %7s %9s %9s %8s %8s\n", "kind", "after", "passes",
                "max gap", "silence", "errors", "watchdog", "time-miss", "sounded", "skipped");
    for (int kind = 0; kind < kBadKinds; ++kind) {
        for (int afterMusic = 0; afterMusic < 2; ++afterMusic) {
            const BadSummary &s = badSummary[kind][afterMusic];
            const char *after = afterMusic ? "music" : "jingle";
            if (s.passes == 0) {
                std::printf("  %-22s %-7s %6s\n", kBadNames[kind], after, "-");
                continue;
            }
            const bool oneSkip = s.goodSkipped == 0 && s.maxErrors <= 1;
            const bool shortGap = s.maxSilenceS <= kLongestGapS;
            std::printf("  %-22s %-7s %6d %7.2fs %8.2fs %7d %9d %9d %8d %8d  %s\n", kBadNames[kind],
                        after, s.passes, s.maxSpanS, s.maxSilenceS, s.errors, s.watchdog,
                        s.timeMissing, s.heard, s.goodSkipped,
                        oneSkip && shortGap ? "ok"
                        : !oneSkip          ? "MORE THAN ONE SKIP"
                        : s.watchdog > 0    ? "LONG GAP (watchdog)"
                                            : "LONG GAP");
        }
    }

    const std::vector<double> rssFloors = quarterFloors(rssSeries);
    const std::vector<double> fdFloors = quarterFloors(fdSeries);
    const std::vector<double> threadFloors = quarterFloors(threadSeries);
    const auto floorsText = [](const std::vector<double> &floors, int precision) {
        if (floors.empty())
            return QStringLiteral("too few samples");
        QStringList parts;
        for (double f : floors)
            parts.append(QString::number(f, 'f', precision));
        return parts.join(QStringLiteral(" "));
    };
    std::printf("resources:           at start   after %2d hand-overs   at end   "
                "(floor of each quarter after warm-up, %d samples)\n",
                warmAfter, int(rssSeries.size()));
    std::printf("  resident memory    %7.1f MB %10.1f MB %10.1f MB  (%s)\n", atStart.rssMb,
                atWarm.rssMb, atEnd.rssMb, qPrintable(floorsText(rssFloors, 1)));
    std::printf("  file descriptors   %7d %13d %13d     (%s)\n", atStart.fds, atWarm.fds, atEnd.fds,
                qPrintable(floorsText(fdFloors, 0)));
    std::printf("  threads            %7d %13d %13d     (%s)\n", atStart.threads, atWarm.threads,
                atEnd.threads, qPrintable(floorsText(threadFloors, 0)));
    const double growth = atEnd.rssMb - atWarm.rssMb;
    if (handOvers - warmAfter < kJudgedHandOvers) {
        std::printf("  not judged: fewer than %d hand-overs after warm-up\n", kJudgedHandOvers);
    } else {
        if (growth > kMaxGrowthMb)
            fault(QStringLiteral("resident memory grew by %1 MB after warm-up")
                      .arg(growth, 0, 'f', 1));
        if (risesThroughout(fdFloors))
            fault(QStringLiteral("file descriptors keep growing: %1").arg(floorsText(fdFloors, 0)));
        if (risesThroughout(threadFloors))
            fault(QStringLiteral("threads keep growing: %1").arg(floorsText(threadFloors, 0)));
    }

    {
        QMutexLocker lock(&theLog.mutex);
        std::printf("warnings logged:     %d\n", theLog.total);
        std::vector<std::pair<int, QString>> kinds;
        for (const auto &[kind, count] : theLog.kinds)
            kinds.emplace_back(count, kind);
        std::sort(kinds.begin(), kinds.end(),
                  [](const auto &a, const auto &b) { return a.first > b.first; });
        for (const auto &[count, kind] : kinds)
            std::printf("  %6d  %s\n", count, qPrintable(kind));
    }

    if (handOvers < target && !hung)
        fault(QStringLiteral("only %1 of %2 hand-overs").arg(handOvers).arg(target));
    if (faults.isEmpty()) {
        std::printf("verdict:             PASS\n");
    } else {
        std::printf("verdict:             FAIL, %lld faults:\n", qint64(faults.size()));
        for (const QString &text : faults.mid(0, 40))
            std::printf("  - %s\n", qPrintable(text));
        if (faults.size() > 40)
            std::printf("  ... and %lld more\n", qint64(faults.size() - 40));
    }
    return faults.isEmpty() ? 0 : 1;
}

} // namespace

int main(int argc, char *argv[])
{
    // As the desk starts.
    limitAllocatorArenas();
    theClock.start();
    // Progress reaches a log file as it happens, and survives a crash.
    std::setvbuf(stdout, nullptr, _IOLBF, 0);
    TestSupport::isolateEnvironment();
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    for (int sig : {SIGSEGV, SIGBUS, SIGFPE, SIGILL, SIGABRT}) {
        struct sigaction action = {};
        action.sa_handler = onCrash;
        action.sa_flags = SA_RESETHAND;
        ::sigaction(sig, &action, nullptr);
    }
    qInstallMessageHandler(logMessage);
    if (!TestSupport::soundServerAvailable()) {
        std::printf("soak_onair: skipped, no test sound server "
                    "(PULSE_SERVER and ORVARADIO_TEST_SINK)\n");
        return kSkipCode;
    }
    QApplication app(argc, argv);

    const QStringList arguments = QCoreApplication::arguments();
    bool valid = true;
    const auto number = [&](int index, int fallback) {
        bool ok = true;
        const int value = arguments.size() > index ? arguments.at(index).toInt(&ok) : fallback;
        valid = valid && ok;
        return value;
    };
    const int handOvers = number(1, kDefaultHandOvers);
    const int transition = number(2, kDefaultTransition);
    const int firstBad = number(3, 0);
    if (!valid || handOvers < 1 || transition < 1 || transition > 2 || firstBad < 0
        || firstBad >= kBadKinds) {
        std::fprintf(stderr, "usage: soak_onair "
                             "[HAND-OVERS [TRANSITION-SECONDS 1|2 [FIRST-BAD-KIND 0..8]]]\n");
        return 2;
    }
    Soak soak(handOvers, transition, firstBad);
    return soak.run();
}
