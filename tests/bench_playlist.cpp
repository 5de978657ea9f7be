// Prints what the running order costs as it grows: every change rebuilds the
// whole view, so this shows where that stops being instant.
#include "mainwindow.h"
#include "testsupport.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QSettings>

#include <algorithm>
#include <cstdio>
#include <vector>

namespace {

constexpr int kRuns = 5;

// Median wall time of `work` in milliseconds; `prepare` runs untimed before each.
template<typename Prepare, typename Work>
double medianMs(Prepare prepare, Work work)
{
    std::vector<double> times;
    for (int run = 0; run < kRuns; ++run) {
        prepare();
        QElapsedTimer timer;
        timer.start();
        work();
        times.push_back(double(timer.nsecsElapsed()) / 1e6);
    }
    std::sort(times.begin(), times.end());
    return times[kRuns / 2];
}

Playlist entry(int i)
{
    return {QStringLiteral("Song %1 - Artist %1").arg(i), QStringLiteral("/music/song-%1.mp3").arg(i),
            QStringLiteral("03:25"), i % 5 == 4 ? QStringLiteral("jingle") : QStringLiteral("music")};
}

// A list on air in its middle, as during a show.
void fill(MainWindow &window, int count)
{
    window.playlist.clear();
    window.playlist.reserve(size_t(count) + kRuns);
    for (int i = 0; i < count; ++i)
        window.playlist.push_back(entry(i));
    TestSupport::setOrder(*window.sequencer, TestSupport::OrderField::OnAir, true);
    TestSupport::setOrder(*window.sequencer, TestSupport::OrderField::Current, count / 2);
    window.updateAudioList(false);
    QApplication::processEvents();
}

} // namespace

int main(int argc, char *argv[])
{
    TestSupport::isolateEnvironment();
    QApplication app(argc, argv);
    TestSupport::clearSettings();
    MainWindow window;
    window.show();
    QApplication::processEvents();

    std::printf("Qt %s, median of %d runs\n", qVersion(), kRuns);
    std::printf("  updateAudioList           call     call + repaint\n");
    for (int count : {100, 1000, 10000, 100000}) {
        const double call = medianMs([&] { fill(window, count); }, [&] { window.updateAudioList(false); });
        const double shown = medianMs([&] { fill(window, count); }, [&] {
            window.updateAudioList(false);
            QApplication::processEvents();
        });
        std::printf("    %6d entries     %8.2f ms  %8.2f ms\n", count, call, shown);
    }

    const QString file = TestSupport::privateRoot() + QStringLiteral("/long.txt");
    {
        QFile out(file);
        if (!out.open(QIODevice::WriteOnly | QIODevice::Text)) {
            std::fprintf(stderr, "could not write %s\n", qPrintable(file));
            return 1;
        }
        for (int i = 0; i < 10000; ++i) {
            const Playlist e = entry(i);
            out.write(QStringLiteral("%1|%2|%3|%4\n").arg(e.title, e.path, e.duration, e.kind).toUtf8());
        }
    }
    window.settings->setValue(QStringLiteral("files/recent"), file);
    const double load = medianMs([&] { fill(window, 0); }, [&] { window.loadRecentPlaylist(); });
    if (window.playlist.size() != 10000) {
        std::fprintf(stderr, "the playlist file loaded %zu entries\n", window.playlist.size());
        return 1;
    }
    std::printf("  load a 10,000-line file (parse + rebuild): %8.2f ms\n", load);

    const double add = medianMs([&] { fill(window, 10000); }, [&] { window.on_btn_add_time_item_clicked(); });
    std::printf("  add a time item to 10,000 entries:         %8.2f ms\n", add);
    return 0;
}
