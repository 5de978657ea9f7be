#include "viewhold.h"

#include <QAbstractItemView>
#include <QKeyEvent>
#include <QScrollBar>
#include <QTimer>

ViewHold::ViewHold(QAbstractItemView *view)
    : QObject(view)
    , view(view)
    , hold(new QTimer(this))
{
    hold->setSingleShot(true);
    hold->setInterval(kHoldMs);
    connect(hold, &QTimer::timeout, this, &ViewHold::released);
    // The scroll bar's own actions: a click, a drag, the wheel over the list.
    connect(view->verticalScrollBar(), &QAbstractSlider::actionTriggered, hold, qOverload<>(&QTimer::start));
    view->installEventFilter(this);
    view->viewport()->installEventFilter(this);
}

bool ViewHold::holding() const
{
    return hold->isActive() || view->verticalScrollBar()->isSliderDown();
}

bool ViewHold::eventFilter(QObject *, QEvent *event)
{
    if (event->type() == QEvent::Wheel) {
        hold->start();
    } else if (event->type() == QEvent::KeyPress) {
        switch (static_cast<QKeyEvent *>(event)->key()) {
        case Qt::Key_Up:
        case Qt::Key_Down:
        case Qt::Key_PageUp:
        case Qt::Key_PageDown:
        case Qt::Key_Home:
        case Qt::Key_End:
            hold->start();
            break;
        default:
            break;
        }
    }
    return false;
}
