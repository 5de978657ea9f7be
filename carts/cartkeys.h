#ifndef CARTKEYS_H
#define CARTKEYS_H

#include <QObject>
#include <QVector>

class ButtonHole;
class QKeyEvent;
class QWidget;

// The digit keys fire the carts wherever the focus is in the window; the tree
// views would otherwise take the digits for their type-ahead search. Widgets
// where text is typed keep their keys.
class CartKeys : public QObject
{
    Q_OBJECT

public:
    CartKeys(QWidget *window, const QVector<ButtonHole *> &carts);

    // Toggles the cart of a digit key: 1 to 9, then 0 for the tenth, keypad
    // included. False when the key is not a cart key.
    static bool fire(const QVector<ButtonHole *> &carts, const QKeyEvent *event);

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    QWidget *window;
    QVector<ButtonHole *> carts;
};

#endif
