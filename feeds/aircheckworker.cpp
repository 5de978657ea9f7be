#include "aircheckworker.h"

#include <QDateTime>
#include <QDebug>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QTimer>

#include <ctime>

namespace {

constexpr int kPurgeEveryMs = 60 * 60 * 1000;

} // namespace

AirCheckWorker::AirCheckWorker(const Plan &plan, const QString &source)
    : FeedWorker(QStringLiteral("Air check"), source)
    , plan(plan)
    , purger(new QTimer(this))
{
    purger->setInterval(kPurgeEveryMs);
    connect(purger, &QTimer::timeout, this, &AirCheckWorker::purgeOld);
}

QString AirCheckWorker::pattern(int fileMinutes, bool mp3)
{
    return QStringLiteral("%Y-%m-%d_%Hh") + (fileMinutes % 60 ? QStringLiteral("%M") : QString())
           + (mp3 ? QStringLiteral(".mp3") : QStringLiteral(".ogg"));
}

int AirCheckWorker::purge(const QString &folder, int days, const QDateTime &now)
{
    static const QRegularExpression ours(
        QStringLiteral("^\\d{4}-\\d\\d-\\d\\d_\\d\\dh(\\d\\d)?(-\\d+)?\\.(ogg|mp3)$"));
    const QDateTime oldest = now.addDays(-days);
    int removed = 0;
    const QFileInfoList files = QDir(folder).entryInfoList(QDir::Files);
    for (const QFileInfo &file : files) {
        if (ours.match(file.fileName()).hasMatch() && file.lastModified() < oldest
            && QFile::remove(file.filePath()))
            ++removed;
    }
    return removed;
}

void AirCheckWorker::purgeOld()
{
    const int removed = purge(plan.folder, plan.days, QDateTime::currentDateTime());
    if (removed > 0)
        qInfo().noquote() << QStringLiteral("Air check: %1 files older than %2 days removed from %3")
                                 .arg(removed)
                                 .arg(plan.days)
                                 .arg(plan.folder);
}

void AirCheckWorker::keepEarlierPart()
{
    const std::time_t now = std::time(nullptr);
    std::tm local{};
    localtime_r(&now, &local);
    char name[64];
    if (std::strftime(name, sizeof name, pattern(plan.fileMinutes, plan.mp3).toLatin1().constData(), &local) == 0)
        return;
    const QString current = QDir(plan.folder).filePath(QString::fromLatin1(name));
    if (!QFile::exists(current))
        return;
    const QString extension = current.right(4);
    for (int n = 1;; ++n) {
        const QString kept = current.chopped(4) + QStringLiteral("-%1").arg(n) + extension;
        if (!QFile::exists(kept)) {
            QFile::rename(current, kept);
            return;
        }
    }
}

void AirCheckWorker::end()
{
    purger->stop();
}

void AirCheckWorker::begin()
{
    if (!purger->isActive()) {
        purger->start();
        purgeOld();
    }
    if (!QDir().mkpath(plan.folder)) {
        retryLater(QStringLiteral("cannot make the folder %1").arg(plan.folder));
        return;
    }
    keepEarlierPart();
    QProcess *recorder = startCapture(
        {QStringLiteral("-ac"), QStringLiteral("1"), QStringLiteral("-c:a"),
         plan.mp3 ? QStringLiteral("libmp3lame") : QStringLiteral("libopus"), QStringLiteral("-b:a"),
         plan.mp3 ? QStringLiteral("64k") : QStringLiteral("48k"), QStringLiteral("-f"), QStringLiteral("segment"),
         QStringLiteral("-segment_time"), QString::number(plan.fileMinutes * 60),
         QStringLiteral("-segment_atclocktime"), QStringLiteral("1"), QStringLiteral("-strftime"),
         QStringLiteral("1"), QStringLiteral("-reset_timestamps"), QStringLiteral("1"),
         QStringLiteral("-segment_format"), plan.mp3 ? QStringLiteral("mp3") : QStringLiteral("ogg"),
         // Each packet reaches the file at once: a crash loses no more than
         // the Ogg page being filled, kept to 200 ms rather than a second.
         QStringLiteral("-segment_format_options"),
         plan.mp3 ? QStringLiteral("flush_packets=1") : QStringLiteral("flush_packets=1:page_duration=200000"),
         QDir(plan.folder).filePath(pattern(plan.fileMinutes, plan.mp3))});
    connect(recorder, &QProcess::finished, this, [this] {
        const QString reason = QStringLiteral("cannot record into %1: %2").arg(plan.folder, captureErrors());
        if (!ranSteadily()) {
            retryLater(reason);
            return;
        }
        // A recorder that ran and then crashed: waiting for the next try
        // would leave a hole in the record.
        qWarning().noquote() << QStringLiteral("Air check: ") + reason + QStringLiteral("; started again at once");
        begin();
    });
    connect(recorder, &QProcess::errorOccurred, this, [this](QProcess::ProcessError error) {
        if (error == QProcess::FailedToStart)
            retryLater(QStringLiteral("ffmpeg cannot be started"));
    });
    running(QStringLiteral("recording into %1").arg(plan.folder));
}
