#include "configdialog.h"
#include "ui_configdialog.h"

#include <QDir>
#include <QFileDialog>

namespace {

// The defaults step stores the fade speed as the decimal 2.0, which
// QVariant::toInt() refuses; truncating the number reads it as 2.
int wholeNumber(const QSettings &settings, const QString &key)
{
    return int(settings.value(key).toDouble());
}

const char *const kOptionKeys[] = {"volume/sayClock", "volume/sayClockFade", "volume/stopFade",
                                   "volume/talkFade"};

} // namespace

ConfigDialog::ConfigDialog(QWidget *parent)
    : QDialog(parent)
    , ui(new Ui::ConfigDialog)
    , settings(QStringLiteral("OrvaRadio"), QStringLiteral("OrvaRadio"))
{
    ui->setupUi(this);
    setFixedSize(size());

    // The names start-up gives the application, so that the store read here
    // is the desk's whoever opens the dialog.
    QCoreApplication::setOrganizationName(QStringLiteral("OrvaRadio"));
    QCoreApplication::setApplicationName(QStringLiteral("OrvaRadio"));
    const QSettings stored;
    ui->fadeInOut->setValue(wholeNumber(stored, QStringLiteral("volume/TransitionAudioTime")));
    ui->speedFade->setValue(wholeNumber(stored, QStringLiteral("volume/speedFade")));
    ui->music_path->setText(stored.value(QStringLiteral("files/defaultDir")).toString());
    ui->jingle_path->setText(stored.value(QStringLiteral("files/jingleDir")).toString());
    ui->time_path->setText(stored.value(QStringLiteral("files/audioTimeDir")).toString());
    const auto options = optionBoxes();
    for (size_t i = 0; i < options.size(); ++i)
        options[i]->setChecked(stored.value(QLatin1String(kOptionKeys[i]), false).toBool());

    connect(ui->buttonBox, &QDialogButtonBox::accepted, this, &ConfigDialog::accept);
    connect(ui->buttonBox, &QDialogButtonBox::rejected, this, &ConfigDialog::reject);
}

ConfigDialog::~ConfigDialog()
{
    delete ui;
}

void ConfigDialog::accept()
{
    settings.setValue(QStringLiteral("volume/TransitionAudioTime"), ui->fadeInOut->value());
    settings.setValue(QStringLiteral("volume/speedFade"), ui->speedFade->value());
    settings.setValue(QStringLiteral("files/defaultDir"), ui->music_path->text());
    settings.setValue(QStringLiteral("files/jingleDir"), ui->jingle_path->text());
    settings.setValue(QStringLiteral("files/audioTimeDir"), ui->time_path->text());
    const auto options = optionBoxes();
    for (size_t i = 0; i < options.size(); ++i)
        settings.setValue(QLatin1String(kOptionKeys[i]), options[i]->isChecked());
    QDialog::accept();
}

std::array<QCheckBox *, 4> ConfigDialog::optionBoxes() const
{
    return {ui->sayClock, ui->sayClockFade, ui->stopFade, ui->talkFade};
}

void ConfigDialog::pickFolder(QLineEdit *field, const QString &title, const QString &startFolder)
{
    const QString folder =
        QFileDialog::getExistingDirectory(this, title, startFolder, QFileDialog::ShowDirsOnly);
    if (!folder.isEmpty())
        field->setText(folder);
}

void ConfigDialog::on_btn_searchMusicPath_clicked()
{
    pickFolder(ui->music_path, tr("Selecionar pasta de músicas"), QDir::homePath());
}

void ConfigDialog::on_btn_searchJinglePath_clicked()
{
    pickFolder(ui->jingle_path, tr("Selecionar pasta de vinhetas"), QDir::homePath());
}

void ConfigDialog::on_btn_searchTimePath_clicked()
{
    // Starts in the stored folder, not in the field's text, which may be an
    // unsaved edit.
    pickFolder(ui->time_path, tr("Selecionar pasta de Locução de Hora"),
               settings.value(QStringLiteral("files/audioTimeDir"), QDir::homePath()).toString());
}
