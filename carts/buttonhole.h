#ifndef BUTTONHOLE_H
#define BUTTONHOLE_H

#include <QPoint>
#include <QString>
#include <QWidget>

class QAudioOutput;
class QMediaPlayer;
class QPushButton;
class QSettings;
class QTimer;

// One instant-play cart: a button that plays the file stored under its
// settings key through a player of its own, lit while it holds a file and
// blinking while it plays.
class ButtonHole : public QWidget
{
    Q_OBJECT

public:
    explicit ButtonHole(QWidget *parent = nullptr);
    ~ButtonHole() override;

    void setBtnText(const QString &text);
    QPushButton *face() const { return button; }
    QMediaPlayer *mediaPlayer() const { return player; }

    static const char *const kLitStyle;

public slots:
    void bntContextMenu(const QPoint &pos);
    void buttonHoleClick();
    void buttonHoleStop();
    void buttonHoleKeyPress();
    void flash();

protected:
    void keyPressEvent(QKeyEvent *event) override;

private:
    QString settingsKey() const;
    void loadAudio();
    void clearAudio();

    QPushButton *button;
    QString audioPath;
    QString btnText;
    QSettings *settings;
    QMediaPlayer *player;
    QAudioOutput *output;
    QTimer *blinkTimer;
};

#endif
