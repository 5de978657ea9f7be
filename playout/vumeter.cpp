#include "vumeter.h"

#include <QPainter>

namespace {

constexpr int kSegments = 33;

struct Zone
{
    int last; // index of the zone's last segment
    QColor lit;
    QColor unlit;
};

const Zone kZones[] = {
    {20, QColor(0, 255, 0), QColor(0, 60, 0)},
    {28, QColor(255, 255, 0), QColor(60, 60, 0)},
    {32, QColor(255, 0, 0), QColor(60, 0, 0)},
};

} // namespace

VuMeter::VuMeter(QWidget *parent)
    : QWidget(parent)
{
    setMinimumSize(200, 10);
}

void VuMeter::setLevel(int value)
{
    if (value == currentLevel)
        return;
    currentLevel = value;
    update();
}

void VuMeter::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(Qt::NoPen);
    const Zone *zone = kZones;
    for (int i = 0; i < kSegments; ++i) {
        if (i > zone->last)
            ++zone;
        painter.setBrush(currentLevel > i ? zone->lit : zone->unlit);
        painter.drawRect(6 * i, 0, 5, 10);
    }
}
