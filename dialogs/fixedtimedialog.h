#ifndef FIXEDTIMEDIALOG_H
#define FIXEDTIMEDIALOG_H

#include "playlist.h"

#include <QDialog>

class QComboBox;
class QTimeEdit;

// The fixed start of one entry: its time of day and whether it cuts in
// ("hard") or becomes the next entry ("soft"); or none.
class FixedTimeDialog : public QDialog
{
    Q_OBJECT

public:
    // `proposed` is the time shown for an entry that has none yet.
    FixedTimeDialog(const QString &title, const FixedStart &current, const QTime &proposed,
                    QWidget *parent = nullptr);

    FixedStart fixedStart() const;

private:
    QTimeEdit *time;
    QComboBox *mode;
    bool cleared = false;
};

#endif
