#include "selfrestart.h"
#include "mainwindow.h"
#include "playoutretry.h"
#include "sequencer.h"

#include <QCoreApplication>
#include <QDebug>
#include <QDir>
#include <QFile>
#include <QSaveFile>
#include <QSettings>
#include <QStandardPaths>
#include <QTextStream>

#include <csignal>
#include <cstring>
#include <iterator>
#include <ctime>
#include <unistd.h>

namespace SelfRestart {

namespace {

const QLatin1String kHeader("orvaradio-resume");
// A desk that crashes sooner after its start is not started again: the
// fault may be in the start itself.
constexpr time_t kLeastRunBeforeCrashRestartS = 10;

char **rememberedArguments = nullptr;
timespec startedAt = {};
// "ORVARADIO_RESUME=<file>", made before any crash needs it.
char resumeAssignment[4096] = {};
volatile sig_atomic_t resumeKept = 0;

ResumePoint pointOf(const MainWindow &window)
{
    ResumePoint point;
    point.order = window.playlist;
    // A removed on-air entry cannot come back: the one that followed it does.
    const Sequencer &sequence = *window.sequencer;
    point.current = sequence.removedOnAir() && !window.playlist.empty()
                        ? (sequence.currentIndex() + 1) % int(window.playlist.size())
                        : sequence.currentIndex();
    point.next = sequence.nextIndex();
    point.onAir = sequence.onAir();
    point.soundServerSeen = window.playoutRetry && window.playoutRetry->soundServerSeen();
    return point;
}

// Found once: the lookup warns each time when XDG_RUNTIME_DIR is not set, and
// the file is written at every change on air.
const QString &resumeFilePath()
{
    static const QString path = [] {
        QString folder = QStandardPaths::writableLocation(QStandardPaths::RuntimeLocation);
        if (folder.isEmpty())
            folder = QDir::tempPath();
        return folder
               + QStringLiteral("/orvaradio-resume-%1.txt").arg(QCoreApplication::applicationPid());
    }();
    return path;
}

} // namespace

bool writeResumeFile(const QString &path, const ResumePoint &point)
{
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Text))
        return false;
    QTextStream out(&file);
    out.setEncoding(QStringConverter::Utf8);
    // No "|" in the header: read as a playlist, it is no entry.
    out << kHeader << ' ' << point.current << ' ' << point.next << ' ' << int(point.onAir) << ' '
        << int(point.soundServerSeen) << '\n';
    writePlaylist(out, point.order);
    return out.status() == QTextStream::Ok && file.commit();
}

bool readResumeFile(const QString &path, ResumePoint &point)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly | QIODevice::Text))
        return false;
    QTextStream in(&file);
    in.setEncoding(QStringConverter::Utf8);
    const QStringList header = in.readLine().split(QLatin1Char(' '));
    if (header.size() != 5 || header[0] != kHeader)
        return false;
    point = ResumePoint();
    point.current = header[1].toInt();
    point.next = header[2].toInt();
    point.onAir = header[3] == QLatin1String("1");
    point.soundServerSeen = header[4] == QLatin1String("1");
    point.order = readPlaylist(in);
    return true;
}

// Why a fresh process, measured with the test sound server stopped for 10 s
// mid-item and started again on the same socket:
// - Qt 6.4 (GStreamer): the playing channel reports "pa_stream_writable_size()
//   failed: Connection terminated". The pulse sinks of one process share one
//   server connection; once the server has gone, every later stream fails
//   with "Failed to connect: Connection terminated", also after it is back.
//   Stop, an empty source and the source again, a fresh QAudioOutput and a
//   fresh QMediaPlayer all failed while any other player of the desk held the
//   old connection.
// - Qt 6.8 (FFmpeg): "Stream error: Connection terminated", and no error
//   reported to the player. A plain player stays in PlayingState with its
//   position standing still and never sounds again in that process; in the
//   desk, the media framework's audio thread then crashes (SIGSEGV), and the
//   fresh start after the crash waits for the server, then starts once more.
// A fresh start is back on air about 2 s after the server, on both.
void keep(const MainWindow &window)
{
    const QString &path = resumeFilePath();
    if (!window.sequencer || !window.sequencer->onAir()) {
        if (resumeKept) {
            resumeKept = 0;
            QFile::remove(path);
        }
        return;
    }
    if (!writeResumeFile(path, pointOf(window))) {
        resumeKept = 0;
        return;
    }
    if (!resumeAssignment[0]) {
        const QByteArray assignment =
            QByteArray(kResumeVariable) + '=' + QFile::encodeName(path);
        if (size_t(assignment.size()) < sizeof resumeAssignment)
            std::memcpy(resumeAssignment, assignment.constData(), size_t(assignment.size()));
    }
    resumeKept = resumeAssignment[0] != 0;
}

void forget()
{
    resumeKept = 0;
    QFile::remove(resumeFilePath());
}

void request(MainWindow &window)
{
    const QString &path = resumeFilePath();
    if (writeResumeFile(path, pointOf(window)))
        qputenv(kResumeVariable, QFile::encodeName(path));
    else
        qWarning() << "Could not write" << path << "- the fresh start begins off air";
    window.settings->sync();
    qWarning() << "Starting the desk afresh to get the sound back";
    QCoreApplication::exit(kExitCode);
}

bool resuming()
{
    return qEnvironmentVariableIsSet(kResumeVariable);
}

void resume(MainWindow &window)
{
    const QString path = qEnvironmentVariable(kResumeVariable);
    if (path.isEmpty())
        return;
    // Once only: a later restart writes its own.
    qunsetenv(kResumeVariable);
    const bool afterCrash = qEnvironmentVariableIsSet(kAfterCrashVariable);
    qunsetenv(kAfterCrashVariable);
    ResumePoint point;
    const bool read = readResumeFile(path, point);
    QFile::remove(path);
    if (!read) {
        qWarning() << "Could not read" << path << "- starting off air";
        return;
    }
    // The running order is this one, not the last one loaded.
    window.firstShown = true;
    window.playlist = point.order;
    const int size = int(point.order.size());
    if (!point.onAir || size == 0 || point.current < 0 || point.current >= size) {
        window.updateAudioList(false);
        return;
    }
    int current = point.current;
    if (afterCrash) {
        current = point.next >= 0 && point.next < size ? point.next : (point.current + 1) % size;
        point.next = -1;
        qWarning() << "Back after a crash: on with" << point.order[size_t(current)].path;
    }
    if (point.soundServerSeen)
        window.playoutRetry->expectSoundServer();
    window.sequencer->resume(current, point.next);
    if (window.playoutRetry->soundServerLost()) {
        // On air, waiting for the server; its return starts the desk afresh
        // once more, and that start plays.
        window.updateAudioList();
        return;
    }
    window.next();
}

void exec(char **argv)
{
    // /proc/self/exe is the program this process runs, even when a package
    // update has since replaced the file under its name.
    ::execv("/proc/self/exe", argv);
    qWarning() << "Could not start the desk afresh:" << qt_error_string(errno);
}

void rememberArguments(char **argv)
{
    rememberedArguments = argv;
    clock_gettime(CLOCK_MONOTONIC, &startedAt);
}

void execAfterCrash()
{
    if (!resumeKept || !rememberedArguments)
        return;
    timespec now = {};
    clock_gettime(CLOCK_MONOTONIC, &now);
    if (now.tv_sec - startedAt.tv_sec < kLeastRunBeforeCrashRestartS)
        return;
    // The environment as it is, with the resume file named.
    static char *environment[1024];
    static char afterCrash[] = "ORVARADIO_RESUME_AFTER_CRASH=1";
    const size_t nameLength = std::strlen(kResumeVariable);
    size_t count = 0;
    for (char **variable = environ; *variable && count + 3 < std::size(environment); ++variable) {
        if (std::strncmp(*variable, kResumeVariable, nameLength) != 0)
            environment[count++] = *variable;
    }
    environment[count++] = resumeAssignment;
    environment[count++] = afterCrash;
    environment[count] = nullptr;
    ::execve("/proc/self/exe", rememberedArguments, environment);
}

} // namespace SelfRestart
