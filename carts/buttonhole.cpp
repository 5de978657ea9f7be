#include "buttonhole.h"
#include "loudness.h"
#include "playwatch.h"

#include <QDebug>
#include <QAudioOutput>
#include <QDir>
#include <QFileDialog>
#include <QKeyEvent>
#include <QMediaPlayer>
#include <QMenu>
#include <QPushButton>
#include <QSettings>
#include <QTimer>

const char *const ButtonHole::kLitStyle = "background-color: #fc0; color: #000;";

ButtonHole::ButtonHole(QWidget *parent)
    : QWidget(parent)
    , player(new QMediaPlayer)
    , output(new QAudioOutput)
    , watch(new PlayWatch(player, QStringLiteral("Playback"), this))
{
    output->setVolume(1.0f);
    player->setAudioOutput(output);
    settings = new QSettings(QStringLiteral("OrvaRadio"), QStringLiteral("OrvaRadio"), this);
    button = new QPushButton(this);
    button->resize(60, 40);
    button->setContextMenuPolicy(Qt::CustomContextMenu);
    // A clicked cart must not take the digit keys away from the cart wall.
    button->setFocusPolicy(Qt::NoFocus);

    connect(button, &QPushButton::customContextMenuRequested, this, &ButtonHole::bntContextMenu);
    connect(button, &QPushButton::clicked, this, &ButtonHole::buttonHoleClick);
    // A play's row opens when it is heard: a play cut short before a sound
    // has none, a failed one gets an "error" row all the same.
    connect(watch, &PlayWatch::sounding, this, [this] {
        if (events && onAir) {
            events->begin(this, onAirItem(QStringLiteral("cart"), QString(), audioPath));
            events->sounding(this);
        }
    });
    connect(watch, &PlayWatch::ended, this, [this] { endPlay(OnAirEvents::Outcome::Ended); });
    connect(watch, &PlayWatch::failed, this, &ButtonHole::fail);
    blinkTimer = new QTimer(this);
    connect(blinkTimer, &QTimer::timeout, this, &ButtonHole::flash);
    blinkTimer->start(300);
}

ButtonHole::~ButtonHole()
{
    delete player;
    delete output;
}

void ButtonHole::setBtnText(const QString &text)
{
    btnText = text;
    button->setText(btnText);
}

QString ButtonHole::settingsKey() const
{
    return QStringLiteral("buttonhole/btn_") + btnText;
}

void ButtonHole::buttonHoleClick()
{
    const QString file = settings->value(settingsKey()).toString();
    if (file.isEmpty())
        return;
    endPlay(OnAirEvents::Outcome::Stopped);
    audioPath = file;
    onAir = true;
    output->setVolume(loudness ? loudness->startGain(audioPath) : 1.0f);
    watch->load(audioPath, outputs);
    watch->play();
}

void ButtonHole::buttonHoleStop()
{
    endPlay(OnAirEvents::Outcome::Stopped);
    watch->stop();
}

void ButtonHole::buttonHoleKeyPress()
{
    if (onAir)
        buttonHoleStop();
    else
        buttonHoleClick();
}

void ButtonHole::fail(const QString &reason)
{
    qWarning() << "Cart" << btnText << "did not play" << audioPath << "-" << reason;
    endPlay(OnAirEvents::Outcome::Error);
    // The player may still claim to play after a failure.
    watch->stop();
}

void ButtonHole::endPlay(OnAirEvents::Outcome outcome)
{
    if (!onAir)
        return;
    onAir = false;
    if (!events)
        return;
    if (outcome == OnAirEvents::Outcome::Error && !events->isOpen(this))
        events->begin(this, onAirItem(QStringLiteral("cart"), QString(), audioPath));
    events->leaving(this, outcome);
    events->finish(this);
}

void ButtonHole::flash()
{
    if (onAir) {
        button->setStyleSheet(button->styleSheet().isEmpty() ? QString::fromLatin1(kLitStyle)
                                                             : QString());
        return;
    }
    if (!settings->value(settingsKey()).toString().isEmpty()
        && button->styleSheet() != QLatin1String(kLitStyle))
        button->setStyleSheet(QString::fromLatin1(kLitStyle));
}

void ButtonHole::keyPressEvent(QKeyEvent *event)
{
    if (event->key() == Qt::Key_1)
        qDebug() << "btn 1";
    // Passed on to the window, whose digit keys fire the carts.
    event->ignore();
}

void ButtonHole::bntContextMenu(const QPoint &pos)
{
    auto *menu = new QMenu(this);
    menu->setAttribute(Qt::WA_DeleteOnClose);
    // The cart menu reads the same in every interface language.
    const struct {
        const char *icon;
        const char *text;
        void (ButtonHole::*slot)();
    } entries[] = {
        {":/images/icons/go-bottom.svg", "Carregar Áudio", &ButtonHole::loadAudio},
        {":/images/icons/media-playback-start.svg", "Tocar Áudio", &ButtonHole::buttonHoleClick},
        {":/images/icons/media-playback-stop.svg", "Parar Áudio", &ButtonHole::buttonHoleStop},
        {nullptr, nullptr, nullptr},
        {":/images/icons/edit-delete.svg", "Apagar Áudio", &ButtonHole::clearAudio},
    };
    for (const auto &entry : entries) {
        if (!entry.text) {
            menu->addSeparator();
            continue;
        }
        auto *action = new QAction(QIcon(QString::fromLatin1(entry.icon)),
                                   QString::fromUtf8(entry.text), this);
        connect(action, &QAction::triggered, this, entry.slot);
        connect(menu, &QObject::destroyed, action, &QObject::deleteLater);
        menu->addAction(action);
    }
    menu->popup(button->mapToGlobal(pos));
}

void ButtonHole::loadAudio()
{
    const QString file = QFileDialog::getOpenFileName(
        this, tr("Carregar Audio"), QDir::homePath(),
        tr("Arquivos de Audio") + QStringLiteral(" (*.mp3 *.wav *.ogg *.flac *.mp4);;"));
    if (file.isEmpty())
        return;
    settings->setValue(settingsKey(), file);
    button->setStyleSheet(QString::fromLatin1(kLitStyle));
}

void ButtonHole::clearAudio()
{
    settings->setValue(settingsKey(), QString());
    button->setStyleSheet(QString());
}
