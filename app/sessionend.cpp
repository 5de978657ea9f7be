#include "sessionend.h"

#include <QDebug>
#include <QSocketNotifier>

#include <csignal>
#include <fcntl.h>
#include <unistd.h>

namespace {

constexpr int kSignals[] = {SIGTERM, SIGINT, SIGHUP};

int signalPipe[2] = {-1, -1};
volatile sig_atomic_t ending = 0;

void onSessionSignal(int signal)
{
    if (ending)
        ::_exit(128 + signal);
    ending = 1;
    const unsigned char number = static_cast<unsigned char>(signal);
    // Nothing else is safe here; a full pipe cannot happen with one byte.
    [[maybe_unused]] const ssize_t written = ::write(signalPipe[1], &number, 1);
}

} // namespace

SessionEnd::SessionEnd(QObject *parent)
    : QObject(parent)
{
    if (::pipe2(signalPipe, O_CLOEXEC | O_NONBLOCK) != 0) {
        qWarning() << "No pipe for the end of the session: SIGTERM ends the desk at once";
        return;
    }
    ending = 0;
    notifier = new QSocketNotifier(signalPipe[0], QSocketNotifier::Read, this);
    connect(notifier, &QSocketNotifier::activated, this, &SessionEnd::readSignal);
    struct sigaction action = {};
    action.sa_handler = onSessionSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    for (const int signal : kSignals)
        sigaction(signal, &action, nullptr);
}

SessionEnd::~SessionEnd()
{
    if (!notifier)
        return;
    for (const int signal : kSignals)
        std::signal(signal, SIG_DFL);
    delete notifier;
    ::close(signalPipe[0]);
    ::close(signalPipe[1]);
    signalPipe[0] = signalPipe[1] = -1;
}

void SessionEnd::readSignal()
{
    unsigned char number = 0;
    while (::read(signalPipe[0], &number, 1) == 1) {
        if (!first)
            first = number;
        emit requested(number);
    }
}
