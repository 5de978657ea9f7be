#include "cartkeys.h"

#include "buttonhole.h"

#include <QAbstractSpinBox>
#include <QApplication>
#include <QKeyEvent>
#include <QLineEdit>

namespace {

// Text is typed here.
bool keepsKeys(const QWidget *widget)
{
    for (; widget; widget = widget->parentWidget()) {
        if (qobject_cast<const QLineEdit *>(widget) || qobject_cast<const QAbstractSpinBox *>(widget))
            return true;
        if (widget->isWindow())
            break;
    }
    return false;
}

} // namespace

CartKeys::CartKeys(QWidget *window, const QVector<ButtonHole *> &carts)
    : QObject(window)
    , window(window)
    , carts(carts)
{
    qApp->installEventFilter(this);
}

bool CartKeys::fire(const QVector<ButtonHole *> &carts, const QKeyEvent *event)
{
    const int key = event->key();
    if (key < Qt::Key_0 || key > Qt::Key_9)
        return false;
    const int index = key == Qt::Key_0 ? 9 : key - Qt::Key_1;
    if (index < carts.size())
        carts[index]->buttonHoleKeyPress();
    return true;
}

bool CartKeys::eventFilter(QObject *watched, QEvent *event)
{
    // Keys sent to the window itself, or passed up to it, go to its own
    // keyPressEvent, which calls fire() as well; stepping in only below the
    // window fires each press once.
    if (event->type() != QEvent::KeyPress || watched == window || !watched->isWidgetType())
        return false;
    auto *receiver = static_cast<QWidget *>(watched);
    if (!window->isAncestorOf(receiver) || keepsKeys(receiver) || keepsKeys(window->focusWidget()))
        return false;
    return fire(carts, static_cast<QKeyEvent *>(event));
}
