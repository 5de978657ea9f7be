#include "fixedtimedialog.h"

#include <QComboBox>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QLabel>
#include <QPushButton>
#include <QTimeEdit>
#include <QVBoxLayout>

FixedTimeDialog::FixedTimeDialog(const QString &title, const FixedStart &current, const QTime &proposed,
                                 QWidget *parent)
    : QDialog(parent)
    , time(new QTimeEdit(this))
    , mode(new QComboBox(this))
{
    setWindowTitle(tr("Hora Fixa"));
    auto *name = new QLabel(title, this);
    name->setTextFormat(Qt::PlainText);
    time->setObjectName(QStringLiteral("fixedTime"));
    time->setDisplayFormat(QStringLiteral("HH:mm:ss"));
    // Whole seconds, as the running order's file keeps them.
    const QTime shown = current.isSet() ? current.at : proposed;
    time->setTime(QTime(shown.hour(), shown.minute(), shown.second()));
    mode->setObjectName(QStringLiteral("fixedMode"));
    mode->addItem(tr("Fixa: entra na hora, o que toca sai em fade"));
    mode->addItem(tr("Próxima: entra quando o que toca terminar"));
    mode->setCurrentIndex(current.isSet() && !current.hard ? 1 : 0);

    auto *buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    QPushButton *clear = buttons->addButton(tr("Sem Hora Fixa"), QDialogButtonBox::ResetRole);
    clear->setObjectName(QStringLiteral("clearFixed"));
    clear->setEnabled(current.isSet());
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    connect(clear, &QPushButton::clicked, this, [this] {
        cleared = true;
        accept();
    });

    auto *form = new QFormLayout;
    form->addRow(tr("Hora"), time);
    form->addRow(tr("Modo"), mode);
    auto *layout = new QVBoxLayout(this);
    layout->addWidget(name);
    layout->addLayout(form);
    layout->addWidget(buttons);
}

FixedStart FixedTimeDialog::fixedStart() const
{
    if (cleared)
        return {};
    return {time->time(), mode->currentIndex() == 0};
}
