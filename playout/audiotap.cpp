#include "audiotap.h"

#if QT_VERSION < QT_VERSION_CHECK(6, 8, 0)

#include <QMediaPlayer>

AudioTap::AudioTap(QObject *parent)
    : QObject(parent)
{
}

void AudioTap::follow(QMediaPlayer *player)
{
    followed = player;
}

#endif
