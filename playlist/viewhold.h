#ifndef VIEWHOLD_H
#define VIEWHOLD_H

#include <QObject>

class QAbstractItemView;
class QTimer;

// Whether the operator is looking elsewhere in a list: after they move it by
// any means (wheel, keys, the scroll bar), the desk leaves its position alone
// for a while, and then follows the air again.
class ViewHold : public QObject
{
    Q_OBJECT

public:
    static constexpr int kHoldMs = 10000;

    explicit ViewHold(QAbstractItemView *view);

    bool holding() const;

signals:
    // The operator has left the list alone long enough.
    void released();

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    QAbstractItemView *view;
    QTimer *hold;
};

#endif
