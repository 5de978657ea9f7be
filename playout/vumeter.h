#ifndef VUMETER_H
#define VUMETER_H

#include <QWidget>

// A horizontal bar of 33 level segments: green, then yellow, then red.
class VuMeter : public QWidget
{
    Q_OBJECT

public:
    explicit VuMeter(QWidget *parent = nullptr);

    void setLevel(int value);
    int level() const { return currentLevel; }

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    int currentLevel = 0;
};

#endif
