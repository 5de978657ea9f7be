#ifndef TESTSUPPORT_H
#define TESTSUPPORT_H

#include "sequencer.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QProcess>
#include <QString>
#include <QTemporaryDir>
#include <QVector>
#include <QtTest>

#include <atomic>
#include <thread>

namespace TestSupport {

// Where the desk's running order stands, set as a test begins, with nothing
// started.
enum class OrderField { Current, Next, Marked, OnAir, Announcing };
inline void setOrder(Sequencer &sequence, OrderField field, int value)
{
    Sequencer::Position at = sequence.position();
    switch (field) {
    case OrderField::Current: at.current = value; break;
    case OrderField::Next: at.next = value; break;
    case OrderField::Marked: at.marked = value != 0; break;
    case OrderField::OnAir: at.air = value ? Sequencer::Air::On : Sequencer::Air::Off; break;
    case OrderField::Announcing: at.air = value ? Sequencer::Air::Announcing : Sequencer::Air::On; break;
    }
    sequence.place(at);
}

// Points HOME, the XDG folders and TMPDIR at a fresh folder of this test
// process, so that no test reads or writes the operator's settings or cache.
// Runs before the application object exists.
void isolateEnvironment();

// The folder made by isolateEnvironment().
QString privateRoot();

// Writes a stereo file of `seconds` length through ffmpeg: a sine of
// `frequency` Hz at `amplitude` (0..1), or silence for amplitude 0. The
// container follows the file name (.wav, .mp3, .ogg, ...). `gate` is an
// optional ffmpeg expression in t that multiplies the signal (1 = sounding).
bool makeTone(const QString &path, double seconds, int frequency = 440, double amplitude = 0.5,
              const QString &gate = QString());

// Keeps the ID3 tag and the first frame of a good MP3, fills the rest with
// noise: a file that starts like audio and fails later.
bool garbleAfterHeader(const QString &path);

// Wipes the desk's settings store, so the next MainWindow starts as on a
// first start.
void clearSettings();

// Today's as-run log, and its rows, read field by field (the titles of test
// items hold no commas or quotes).
QString todaysAsRunLog();
struct AsRunRow
{
    QString kind;
    QString title;
    double played = 0.0;
    QString outcome;
};
QList<AsRunRow> todaysAsRunRows();

// Answers the modal dialogs a test triggers, in order: a file dialog gets the
// next queued file name (an empty one cancels it), a message box is recorded
// and closed with the next queued button text, or else its default button.
class ModalDriver : public QObject
{
    Q_OBJECT

public:
    struct Box
    {
        int icon; // QMessageBox::Icon
        QString title;
        QString text;
    };

    explicit ModalDriver(QObject *parent = nullptr);

    void answerFileDialog(const QString &fileName) { fileAnswers.append(fileName); }
    void answerBox(const QString &buttonText) { boxAnswers.append(buttonText); }
    QList<Box> boxes;
    QStringList fileDialogTitles;
    QStringList fileDialogFolders; // the folder each file dialog opened in
    int fileDialogsSeen = 0;

private:
    void poll();
    QStringList fileAnswers;
    QStringList boxAnswers;
};

// Puts a stand-in for ffmpeg (or `program`) first on PATH for as long as it
// lives: a shell script made of `script` (which may run the real converter,
// named by realConverter(), with "$@").
class ConverterStandIn
{
public:
    ConverterStandIn(const QString &folder, const QByteArray &script,
                     const QString &program = QStringLiteral("ffmpeg"));
    ~ConverterStandIn();
    static QByteArray realConverter();

private:
    QByteArray oldPath;
};

// Runs a program to completion; true when it exits with 0.
bool run(const QString &program, const QStringList &arguments, int timeoutMs = 60000);

// CPU seconds, user and system, of this process (RUSAGE_SELF) or of its
// waited-for children (RUSAGE_CHILDREN), for the benchmarks.
double cpuSeconds(int who);

// The private test sound server, when the test runs with one.
bool soundServerAvailable();

// Records what the test sound server's sink plays (44.1 kHz, stereo, 16 bit),
// or another sink of that server.
class Recorder
{
public:
    explicit Recorder(const QString &sink = QString());
    ~Recorder();
    bool start();
    // Stops recording and returns the interleaved samples.
    QVector<qint16> stop();

    // RMS of both channels over consecutive windows of `windowMs`, 0..1.
    static QVector<double> windowRms(const QVector<qint16> &samples, int windowMs);
    // Amplitude (0..1) of a sine of `frequency` in the left channel, frames
    // [first, first + frames), by the Goertzel filter.
    static double toneAmplitude(const QVector<qint16> &samples, qsizetype first, qsizetype frames,
                                double frequency);
    // For each consecutive window of `windowMs`: whether `frequency` sounds
    // in it above `amplitude`.
    static QVector<bool> toneWindows(const QVector<qint16> &samples, double frequency, int windowMs,
                                     double amplitude);

private:
    // How far the recording may lag the clock when stopped, and how long
    // it is given to catch up.
    static constexpr qint64 kRecordingSlackMs = 100;
    static constexpr int kCatchUpMs = 5000;
    QProcess *process = nullptr;
    QString rawPath;
    QString sink;
    QElapsedTimer recording;
};

// Adds a null sink of 44.1 kHz stereo to the test sound server, and removes it.
bool loadSink(const QString &name);
bool unloadSink(const QString &name);

// A private stream server for the now-playing tests: icecast2 on a free port
// of 127.0.0.1 with passwords of its own, its mount fed with silent MP3 by
// ffmpeg. The port stays the same across stop() and start().
class StreamServer
{
public:
    StreamServer();
    ~StreamServer();

    // Starts the server and, unless the desk is to be the source, a source
    // of silence, and returns once the server answers and the mount is
    // listed; on failure errorString() says why (with the server's log).
    bool start(bool withSource = true);
    void stop();
    QString errorString() const { return error; }

    QString url() const;
    QString mount() const { return QStringLiteral("/live.mp3"); }
    QString adminUser() const { return QStringLiteral("desk-admin"); }
    QString adminPassword() const { return QStringLiteral("admin-pw-7431"); }
    QString sourcePassword() const { return QStringLiteral("source-pw-7431"); }

    // The mount's title in the server's status, or an empty string when the
    // mount has none or the server does not answer.
    QString title() const;
    // Whether a source feeds the mount.
    bool mounted() const;

private:
    bool writeConfig();
    bool waitForMount(int timeoutMs);
    QString logTail(const QString &name) const;

    QTemporaryDir folder;
    quint16 port = 0;
    QProcess server;
    QProcess source;
    QString error;
};

// A pipe that gives the header of a long tone and its first `afterMs`, then
// nothing, as a source whose writer hangs. Let it go before a player that
// reads it is destroyed: a player cannot stop while it reads.
class StallingPipe
{
public:
    StallingPipe(const QString &path, int frequency, int afterMs);
    ~StallingPipe();
    bool ready() const { return made; }
    void letGo() { release = true; }

private:
    QString path;
    bool made = false;
    std::atomic<bool> release{false};
    std::thread writer;
};

} // namespace TestSupport

#define ORVA_TEST_MAIN(TestObject)                                   \
    int main(int argc, char *argv[])                                 \
    {                                                                \
        TestSupport::isolateEnvironment();                           \
        QApplication app(argc, argv);                                \
        TestObject tc;                                               \
        QTEST_SET_MAIN_SOURCE_PATH                                   \
        return QTest::qExec(&tc, argc, argv);                        \
    }

#endif
