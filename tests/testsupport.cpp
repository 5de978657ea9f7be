#include "testsupport.h"
#include "asrunreport.h"
#include "wavreader.h"

#include <QDate>
#include <QDir>
#include <QFileDialog>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QSettings>
#include <QStandardPaths>
#include <QTimer>
#include <QTemporaryDir>

#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QNetworkAccessManager>
#include <QNetworkProxy>
#include <QNetworkReply>
#include <QTcpServer>
#include <QRandomGenerator>
#include <QFileInfo>
#include <QThread>

#include <cmath>
#include <fcntl.h>
#include <sys/stat.h>
#include <csignal>
#include <cstdlib>
#include <grp.h>
#include <optional>
#include <pwd.h>
#include <sys/resource.h>
#include <unistd.h>

namespace {
QTemporaryDir *root = nullptr;

// How long the stream server may take to answer, and its source to appear.
constexpr int kStreamServerStartMs = 10000;
constexpr int kStatusReplyMs = 2000;

// The server's status entry of `mount` (empty while the mount is not listed),
// or nothing when the server does not answer.
std::optional<QJsonObject> mountStatus(const QString &url, const QString &mount)
{
    QNetworkAccessManager manager;
    manager.setProxy(QNetworkProxy::NoProxy);
    QNetworkRequest request(QUrl(url + QStringLiteral("/status-json.xsl")));
    request.setTransferTimeout(kStatusReplyMs);
    QNetworkReply *reply = manager.get(request);
    QEventLoop loop;
    QObject::connect(reply, &QNetworkReply::finished, &loop, &QEventLoop::quit);
    loop.exec();
    reply->deleteLater();
    if (reply->error() != QNetworkReply::NoError)
        return std::nullopt;
    // One mount is listed as an object, several as an array.
    const QJsonValue sources = QJsonDocument::fromJson(reply->readAll())
                                   .object()
                                   .value(QStringLiteral("icestats"))
                                   .toObject()
                                   .value(QStringLiteral("source"));
    const QJsonArray entries = sources.isArray() ? sources.toArray() : QJsonArray{sources};
    for (const QJsonValue &entry : entries) {
        const QJsonObject object = entry.toObject();
        if (object.value(QStringLiteral("listenurl")).toString().endsWith(mount))
            return object;
    }
    return QJsonObject();
}
}

namespace TestSupport {

void isolateEnvironment()
{
    root = new QTemporaryDir(QDir::tempPath() + QStringLiteral("/orvaradio-test-XXXXXX"));
    const QString base = root->path();
    const struct {
        const char *name;
        const char *folder;
    } folders[] = {
        {"HOME", "home"},
        {"XDG_CONFIG_HOME", "home/.config"},
        {"XDG_DATA_HOME", "home/.local/share"},
        {"XDG_CACHE_HOME", "home/.cache"},
        {"TMPDIR", "tmp"},
    };
    for (const auto &folder : folders) {
        const QString path = base + QLatin1Char('/') + QLatin1String(folder.folder);
        QDir().mkpath(path);
        qputenv(folder.name, path.toLocal8Bit());
    }
    std::atexit([] { delete root; });
}

QString privateRoot()
{
    return root ? root->path() : QString();
}

void clearSettings()
{
    QSettings settings(QStringLiteral("OrvaRadio"), QStringLiteral("OrvaRadio"));
    settings.clear();
    settings.sync();
}

QString todaysAsRunLog()
{
    return asRunFolder() + QLatin1Char('/') + QDate::currentDate().toString(Qt::ISODate)
           + QStringLiteral(".csv");
}

QList<AsRunRow> todaysAsRunRows()
{
    QList<AsRunRow> rows;
    QFile file(todaysAsRunLog());
    if (!file.open(QIODevice::ReadOnly))
        return rows;
    const QList<QByteArray> lines = file.readAll().split('\n');
    for (const QByteArray &line : lines.mid(1)) {
        const QList<QByteArray> fields = line.split(',');
        if (fields.size() >= 8)
            rows.append({QString::fromUtf8(fields[3]), QString::fromUtf8(fields[4]),
                         fields[2].toDouble(), QString::fromUtf8(fields[7])});
    }
    return rows;
}

ModalDriver::ModalDriver(QObject *parent)
    : QObject(parent)
{
    auto *timer = new QTimer(this);
    connect(timer, &QTimer::timeout, this, &ModalDriver::poll);
    timer->start(20);
}

void ModalDriver::poll()
{
    QWidget *modal = QApplication::activeModalWidget();
    if (!modal || !modal->isVisible())
        return;
    if (auto *box = qobject_cast<QMessageBox *>(modal)) {
        boxes.append({int(box->icon()), box->windowTitle(), box->text()});
        QAbstractButton *button = nullptr;
        const QString answer = boxAnswers.isEmpty() ? QString() : boxAnswers.takeFirst();
        for (QAbstractButton *each : box->buttons()) {
            if (!answer.isEmpty() && each->text() == answer)
                button = each;
        }
        // Yes confirms replacing a file in the save dialog; otherwise OK.
        if (!button)
            button = box->button(QMessageBox::Yes);
        if (!button)
            button = box->defaultButton() ? box->defaultButton() : box->button(QMessageBox::Ok);
        if (button)
            button->click();
        else
            box->reject();
        return;
    }
    if (auto *dialog = qobject_cast<QFileDialog *>(modal)) {
        ++fileDialogsSeen;
        fileDialogTitles.append(dialog->windowTitle());
        fileDialogFolders.append(dialog->directory().absolutePath());
        const QString answer = fileAnswers.isEmpty() ? QString() : fileAnswers.takeFirst();
        if (answer.isEmpty()) {
            dialog->reject();
        } else {
            // Typed as an absolute path, the answer does not depend on the
            // folder the dialog is still loading.
            if (auto *edit = dialog->findChild<QLineEdit *>(QStringLiteral("fileNameEdit")))
                edit->setText(answer);
            else
                dialog->selectFile(answer);
            // Queued: accepting may ask a question of its own, which this
            // driver must be free to answer.
            QMetaObject::invokeMethod(dialog, "accept", Qt::QueuedConnection);
        }
    }
}

ConverterStandIn::ConverterStandIn(const QString &folder, const QByteArray &script, const QString &program)
    : oldPath(qgetenv("PATH"))
{
    QDir().mkpath(folder);
    QFile file(folder + QLatin1Char('/') + program);
    file.open(QIODevice::WriteOnly);
    file.write("#!/bin/sh\n" + script);
    file.close();
    file.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    qputenv("PATH", folder.toLocal8Bit() + ':' + oldPath);
}

ConverterStandIn::~ConverterStandIn()
{
    qputenv("PATH", oldPath);
}

QByteArray ConverterStandIn::realConverter()
{
    return QStandardPaths::findExecutable(QStringLiteral("ffmpeg")).toLocal8Bit();
}

bool run(const QString &program, const QStringList &arguments, int timeoutMs)
{
    QProcess process;
    process.start(program, arguments);
    if (!process.waitForFinished(timeoutMs)) {
        process.kill();
        process.waitForFinished();
        return false;
    }
    if (process.exitStatus() != QProcess::NormalExit || process.exitCode() != 0) {
        qWarning() << program << arguments << process.readAllStandardError();
        return false;
    }
    return true;
}

bool makeTone(const QString &path, double seconds, int frequency, double amplitude,
              const QString &gate)
{
    QString signal = QStringLiteral("%1*sin(2*PI*%2*t)").arg(amplitude).arg(frequency);
    if (!gate.isEmpty())
        signal += QStringLiteral("*(%1)").arg(QString(gate).replace(QLatin1Char(','), QStringLiteral("\\,")));
    const QString source =
        QStringLiteral("aevalsrc=%1|%1:s=44100:d=%2").arg(signal).arg(seconds);
    return run(QStringLiteral("ffmpeg"),
               {QStringLiteral("-y"), QStringLiteral("-v"), QStringLiteral("error"),
                QStringLiteral("-f"), QStringLiteral("lavfi"), QStringLiteral("-i"), source, path});
}

double cpuSeconds(int who)
{
    rusage usage {};
    getrusage(who, &usage);
    return double(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec)
           + double(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

bool soundServerAvailable()
{
    const QByteArray server = qgetenv("PULSE_SERVER");
    if (!server.startsWith("unix:") || qEnvironmentVariableIsEmpty("ORVARADIO_TEST_SINK"))
        return false;
    return QFile::exists(QString::fromLocal8Bit(server.mid(5)));
}

Recorder::Recorder(const QString &sink)
    : rawPath(QDir::tempPath() + QStringLiteral("/recording-%1.raw").arg(quintptr(this)))
    , sink(sink.isEmpty() ? qEnvironmentVariable("ORVARADIO_TEST_SINK") : sink)
{
}

Recorder::~Recorder()
{
    if (process) {
        process->kill();
        process->waitForFinished();
        delete process;
    }
    QFile::remove(rawPath);
}

bool Recorder::start()
{
    QFile::remove(rawPath);
    process = new QProcess;
    process->setStandardOutputFile(rawPath);
    const QString monitor = sink + QStringLiteral(".monitor");
    process->start(QStringLiteral("parec"),
                   {QStringLiteral("--latency-msec=20"), QStringLiteral("-d"), monitor,
                    QStringLiteral("--format=s16le"), QStringLiteral("--rate=44100"),
                    QStringLiteral("--channels=2"), QStringLiteral("--raw")});
    if (!process->waitForStarted())
        return false;
    // Recording has begun once data arrives.
    QElapsedTimer waited;
    waited.start();
    while (QFileInfo(rawPath).size() == 0 && waited.elapsed() < 5000)
        QThread::msleep(10);
    recording.start();
    return QFileInfo(rawPath).size() > 0;
}

QVector<bool> Recorder::toneWindows(const QVector<qint16> &samples, double frequency, int windowMs,
                                    double amplitude)
{
    const qsizetype frames = 44100 * qsizetype(windowMs) / 1000;
    QVector<bool> present;
    for (qsizetype first = 0; (first + frames) * 2 <= samples.size(); first += frames)
        present.append(toneAmplitude(samples, first, frames, frequency) > amplitude);
    return present;
}

double Recorder::toneAmplitude(const QVector<qint16> &samples, qsizetype first, qsizetype frames,
                               double frequency)
{
    const double coefficient = 2.0 * std::cos(2.0 * M_PI * frequency / 44100.0);
    double s1 = 0.0;
    double s2 = 0.0;
    for (qsizetype i = first; i < first + frames; ++i) {
        const double s0 = samples[2 * i] / 32768.0 + coefficient * s1 - s2;
        s2 = s1;
        s1 = s0;
    }
    const double power = s1 * s1 + s2 * s2 - coefficient * s1 * s2;
    return 2.0 * std::sqrt(std::max(power, 0.0)) / double(frames);
}

QVector<qint16> Recorder::stop()
{
    QVector<qint16> samples;
    if (!process)
        return samples;
    // On a loaded machine the sound server may deliver what was played up
    // to now a while later: the recording first catches up with the clock.
    const qint64 wantedBytes = (recording.elapsed() - kRecordingSlackMs) * 44100 / 1000 * 4;
    QElapsedTimer waited;
    waited.start();
    while (process->state() == QProcess::Running && QFileInfo(rawPath).size() < wantedBytes
           && waited.elapsed() < kCatchUpMs)
        QTest::qWait(10);
    if (waited.elapsed() >= kRecordingSlackMs)
        qInfo() << "the recording caught up with the clock in" << waited.elapsed() << "ms";
    ::kill(pid_t(process->processId()), SIGINT);
    process->waitForFinished(5000);
    delete process;
    process = nullptr;
    QFile raw(rawPath);
    if (raw.open(QIODevice::ReadOnly)) {
        const QByteArray bytes = raw.readAll();
        samples.resize(bytes.size() / 2);
        memcpy(samples.data(), bytes.constData(), size_t(samples.size()) * 2);
    }
    return samples;
}

QVector<double> Recorder::windowRms(const QVector<qint16> &samples, int windowMs)
{
    QVector<double> result;
    const int window = 44100 * windowMs / 1000 * 2;
    for (int start = 0; start + window <= samples.size(); start += window) {
        double sum = 0;
        for (int i = start; i < start + window; ++i) {
            const double x = samples[i] / 32768.0;
            sum += x * x;
        }
        result.append(std::sqrt(sum / window));
    }
    return result;
}

// Length of the MPEG-1 layer III frame whose header starts at `header`, or 0.
static int mp3FrameLength(const unsigned char *header)
{
    static const int kbps[16] = {0,   32,  40,  48,  56,  64,  80,  96,
                                 112, 128, 160, 192, 224, 256, 320, 0};
    static const int rates[4] = {44100, 48000, 32000, 0};
    if (header[0] != 0xFF || (header[1] & 0xFE) != 0xFA)
        return 0;
    const int bitrate = kbps[header[2] >> 4];
    const int rate = rates[(header[2] >> 2) & 3];
    if (bitrate == 0 || rate == 0)
        return 0;
    return 144000 * bitrate / rate + ((header[2] >> 1) & 1);
}

// Keeps the ID3 tag and the first frame of a good MP3, fills the rest with noise.
bool garbleAfterHeader(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadWrite))
        return false;
    QByteArray bytes = file.readAll();
    auto *data = reinterpret_cast<unsigned char *>(bytes.data());
    qsizetype keep = 0;
    if (bytes.startsWith("ID3") && bytes.size() > 10)
        keep = 10 + ((data[6] << 21) | (data[7] << 14) | (data[8] << 7) | data[9]);
    if (keep + 4 > bytes.size())
        return false;
    const int frame = mp3FrameLength(data + keep);
    if (frame == 0)
        return false;
    keep += frame;
    QRandomGenerator noise(20240607);
    for (qsizetype i = keep; i < bytes.size(); ++i)
        data[i] = uchar(noise.bounded(256));
    file.seek(0);
    return file.write(bytes) == bytes.size();
}

StreamServer::StreamServer()
    : folder(QDir::tempPath() + QStringLiteral("/stream-server-XXXXXX"))
{
    QTcpServer probe;
    probe.listen(QHostAddress::LocalHost);
    port = probe.serverPort();
}

StreamServer::~StreamServer()
{
    stop();
}

QString StreamServer::url() const
{
    return QStringLiteral("http://127.0.0.1:%1").arg(port);
}

bool StreamServer::writeConfig()
{
    // icecast2 refuses to run as root: it then drops to the package's user.
    // Its log goes to stderr, into a file opened before that, so no folder
    // has to be writable by that user.
    QString security;
    if (geteuid() == 0) {
        const passwd *user = getpwnam("icecast2");
        const group *userGroup = user ? getgrgid(user->pw_gid) : nullptr;
        security = QStringLiteral("<security><chroot>0</chroot><changeowner><user>%1</user>"
                                  "<group>%2</group></changeowner></security>")
                       .arg(QString::fromLocal8Bit(user ? user->pw_name : "nobody"),
                            QString::fromLocal8Bit(userGroup ? userGroup->gr_name : "nogroup"));
    }
    const QString config =
        QStringLiteral(
            "<icecast><location>test</location><admin>test@localhost</admin>"
            "<hostname>127.0.0.1</hostname>"
            "<listen-socket><port>%1</port><bind-address>127.0.0.1</bind-address></listen-socket>"
            "<authentication><source-password>%2</source-password><admin-user>%3</admin-user>"
            "<admin-password>%4</admin-password></authentication>"
            "<paths><webroot>/usr/share/icecast2/web</webroot>"
            "<adminroot>/usr/share/icecast2/admin</adminroot></paths>"
            "<limits><burst-size>0</burst-size></limits>"
            "<logging><accesslog>-</accesslog><errorlog>-</errorlog><loglevel>3</loglevel></logging>"
            "%5</icecast>\n")
            .arg(port)
            .arg(sourcePassword(), adminUser(), adminPassword(), security);
    QFile file(folder.filePath(QStringLiteral("icecast.xml")));
    return file.open(QIODevice::WriteOnly) && file.write(config.toUtf8()) > 0;
}

QString StreamServer::logTail(const QString &name) const
{
    QFile file(folder.filePath(name));
    if (!file.open(QIODevice::ReadOnly))
        return QString();
    return QString::fromUtf8(file.readAll().right(2000));
}

bool StreamServer::start(bool withSource)
{
    stop();
    error.clear();
    const QString program = QStandardPaths::findExecutable(QStringLiteral("icecast2"));
    if (program.isEmpty()) {
        error = QStringLiteral("icecast2 is not installed (Debian package icecast2)");
        return false;
    }
    if (port == 0 || !folder.isValid() || !writeConfig()) {
        error = QStringLiteral("no free port or no configuration in %1").arg(folder.path());
        return false;
    }
    server.setProcessChannelMode(QProcess::MergedChannels);
    server.setStandardOutputFile(folder.filePath(QStringLiteral("icecast.log")), QIODevice::Append);
    server.start(program, {QStringLiteral("-c"), folder.filePath(QStringLiteral("icecast.xml"))});
    QElapsedTimer waited;
    waited.start();
    while (!mountStatus(url(), mount())) {
        if (server.state() == QProcess::NotRunning || waited.elapsed() > kStreamServerStartMs) {
            error = QStringLiteral("icecast2 does not answer on %1:\n%2")
                        .arg(url(), logTail(QStringLiteral("icecast.log")));
            stop();
            return false;
        }
        QThread::msleep(50);
    }
    if (!withSource)
        return true;

    source.setProcessChannelMode(QProcess::MergedChannels);
    source.setStandardOutputFile(folder.filePath(QStringLiteral("source.log")), QIODevice::Append);
    source.start(QStringLiteral("ffmpeg"),
                 {QStringLiteral("-nostdin"), QStringLiteral("-v"), QStringLiteral("error"),
                  QStringLiteral("-re"), QStringLiteral("-f"), QStringLiteral("lavfi"),
                  QStringLiteral("-i"), QStringLiteral("anullsrc=r=44100:cl=stereo"),
                  QStringLiteral("-c:a"), QStringLiteral("libmp3lame"), QStringLiteral("-b:a"),
                  QStringLiteral("64k"), QStringLiteral("-content_type"), QStringLiteral("audio/mpeg"),
                  QStringLiteral("-f"), QStringLiteral("mp3"),
                  QStringLiteral("icecast://source:%1@127.0.0.1:%2%3")
                      .arg(sourcePassword())
                      .arg(port)
                      .arg(mount())});
    while (mountStatus(url(), mount()).value_or(QJsonObject()).isEmpty()) {
        if (source.state() == QProcess::NotRunning || waited.elapsed() > 2 * kStreamServerStartMs) {
            error = QStringLiteral("the source did not reach %1%2:\n%3\n%4")
                        .arg(url(), mount(), logTail(QStringLiteral("source.log")),
                             logTail(QStringLiteral("icecast.log")));
            stop();
            return false;
        }
        QThread::msleep(50);
    }
    return true;
}

void StreamServer::stop()
{
    // Killed outright: asked to end, the server takes two seconds, and its
    // port can be bound again at once either way.
    for (QProcess *process : {&source, &server}) {
        if (process->state() != QProcess::NotRunning) {
            process->kill();
            process->waitForFinished(5000);
        }
    }
}

QString StreamServer::title() const
{
    // A title of digits alone comes as a number.
    return mountStatus(url(), mount())
        .value_or(QJsonObject())
        .value(QStringLiteral("title"))
        .toVariant()
        .toString();
}

bool StreamServer::mounted() const
{
    return !mountStatus(url(), mount()).value_or(QJsonObject()).isEmpty();
}

bool loadSink(const QString &name)
{
    return run(QStringLiteral("pactl"), {QStringLiteral("load-module"), QStringLiteral("module-null-sink"),
                                         QStringLiteral("sink_name=") + name, QStringLiteral("rate=44100"),
                                         QStringLiteral("channels=2")});
}

bool unloadSink(const QString &name)
{
    return run(QStringLiteral("sh"),
               {QStringLiteral("-c"), QStringLiteral("pactl unload-module $(pactl list short modules | grep "
                                                     "'sink_name=%1 ' | cut -f1)")
                                          .arg(name)});
}

StallingPipe::StallingPipe(const QString &path, int frequency, int afterMs)
    : path(path)
{
    const QString source = path + QStringLiteral(".source.wav");
    made = ::mkfifo(QFile::encodeName(path).constData(), 0600) == 0 && makeTone(source, 20, frequency);
    QFile sourceFile(source);
    WavReader::Chunks chunks;
    made = made && sourceFile.open(QIODevice::ReadOnly) && WavReader::readChunks(sourceFile, chunks);
    sourceFile.seek(0);
    const QByteArray head = sourceFile.read(chunks.dataStart + 44100 * 4 * afterMs / 1000);
    writer = std::thread([this, head] {
        ::signal(SIGPIPE, SIG_IGN);
        // Blocks until the player opens the pipe, and while it has not read it all.
        QFile out(this->path);
        if (out.open(QIODevice::WriteOnly | QIODevice::Unbuffered))
            out.write(head);
        while (!release)
            QThread::msleep(10);
    });
}

StallingPipe::~StallingPipe()
{
    release = true;
    // A writer still waiting for a reader is let go by one that leaves at
    // once: its writing then fails.
    ::close(::open(QFile::encodeName(path).constData(), O_RDONLY | O_NONBLOCK));
    writer.join();
}

} // namespace TestSupport
