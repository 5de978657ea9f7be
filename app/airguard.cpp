#include "airguard.h"
#include "airfeeds.h"
#include "mainwindow.h"
#include "nowplaying.h"
#include "selfrestart.h"
#include "sequencer.h"

#include <QCoreApplication>
#include <QDebug>
#include <QMessageBox>
#include <QPushButton>

namespace {

// How long the end of a session waits for the stream server to take "off air".
constexpr int kStreamTitleMs = 1000;

} // namespace

bool confirmOffAir(QWidget *window, const QString &title, const QString &question,
                   const QString &goAhead)
{
    QMessageBox box(QMessageBox::Warning, title, question, QMessageBox::NoButton, window);
    QPushButton *go = box.addButton(goAhead, QMessageBox::DestructiveRole);
    QPushButton *stay = box.addButton(QCoreApplication::translate("MainWindow", "Continuar no ar"),
                                      QMessageBox::RejectRole);
    box.setDefaultButton(stay);
    box.setEscapeButton(stay);
    box.exec();
    return box.clickedButton() == go;
}

void endSession(MainWindow &window, int signal)
{
    qWarning() << "Signal" << signal << "ends the session: the desk goes off air and closes";
    // What plays is logged "stopped"; the channels go quiet as the window is
    // taken down.
    window.on_btn_stop_clicked();
    Sequencer::Position offAir = window.sequencer->position();
    offAir.air = Sequencer::Air::Off;
    window.sequencer->place(offAir);
    // A radio-text encoder or a website must not go on naming the last song.
    if (auto *nowPlaying = window.findChild<NowPlaying *>())
        nowPlaying->settle(kStreamTitleMs);
    if (auto *feeds = window.findChild<AirFeeds *>())
        feeds->stop();
    keepUnsavedPlaylist(window.playlist, *window.settings);
    SelfRestart::forget();
    // Leaves every event loop, a dialog's too.
    QCoreApplication::exit(0);
}
