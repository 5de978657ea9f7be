#include "helperprocess.h"

#include <QDebug>
#include <QFileInfo>
#include <QProcess>
#include <QSet>
#include <QTimer>

namespace HelperProcess {

void limit(QProcess *process, int limitMs)
{
    auto *timer = new QTimer(process);
    timer->setSingleShot(true);
    QObject::connect(timer, &QTimer::timeout, process, [process, limitMs] {
        if (process->state() == QProcess::NotRunning)
            return;
        noteOverrun(process->program(), limitMs);
        process->kill();
    });
    QObject::connect(process, &QProcess::finished, timer, &QTimer::stop);
    timer->start(limitMs);
}

void noteOverrun(const QString &program, int limitMs)
{
    static QSet<QString> noted;
    const QString name = QFileInfo(program).fileName();
    if (noted.contains(name))
        return;
    noted.insert(name);
    qWarning() << "Helper program" << name << "did not finish within" << limitMs
               << "ms: stopped, and taken as failed (later ones are not logged)";
}

void abandon(QProcess *process)
{
    process->disconnect();
    process->kill();
    // The object stays: its destructor would wait for the process.
    process->setParent(nullptr);
}

} // namespace HelperProcess
