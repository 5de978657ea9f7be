#include "buttonhole.h"

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
{
    output->setVolume(1.0f);
    player->setAudioOutput(output);
    settings = new QSettings(QStringLiteral("OrvaRadio"), QStringLiteral("OrvaRadio"), this);
    button = new QPushButton(this);
    button->resize(60, 40);
    button->setContextMenuPolicy(Qt::CustomContextMenu);

    connect(button, &QPushButton::customContextMenuRequested, this, &ButtonHole::bntContextMenu);
    connect(button, &QPushButton::clicked, this, &ButtonHole::buttonHoleClick);
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
    audioPath = settings->value(settingsKey()).toString();
    if (audioPath.isEmpty())
        return;
    player->stop();
    player->setSource(QUrl::fromLocalFile(audioPath));
    player->play();
}

void ButtonHole::buttonHoleStop()
{
    player->stop();
}

void ButtonHole::buttonHoleKeyPress()
{
    if (player->playbackState() == QMediaPlayer::PlayingState)
        buttonHoleStop();
    else
        buttonHoleClick();
}

void ButtonHole::flash()
{
    if (player->playbackState() == QMediaPlayer::PlayingState) {
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
    // A focused cart keeps every key, so digits never reach the window's cart keys.
    if (event->key() == Qt::Key_1)
        qDebug() << "btn 1";
    event->accept();
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
