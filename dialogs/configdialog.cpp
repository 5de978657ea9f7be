#include "configdialog.h"
#include "ui_configdialog.h"
#include "startvalues.h"
#include "loudness.h"
#include "nowplaying.h"

#include <QAudioDevice>
#include <QComboBox>
#include <QDir>
#include <QFileDialog>
#include <QLayout>
#include <QMediaDevices>
#include <QMessageBox>

#include <algorithm>
#include <cmath>

namespace {

// A number stored as a decimal ("5.0") is refused by QVariant::toInt();
// truncating reads it as 5.
int wholeNumber(const QSettings &settings, const QString &key)
{
    return int(settings.value(key).toDouble());
}

// The now-playing fields and their keys; the kinds switch is apart.
const char *const kNowPlayingKeys[] = {"nowplaying/folder", "nowplaying/serverUrl", "nowplaying/mount",
                                       "nowplaying/user", "nowplaying/password"};

const char *const kOptionKeys[] = {"volume/sayClock", "volume/sayClockFade", "volume/stopFade",
                                   "volume/talkFade"};

} // namespace

ConfigDialog::ConfigDialog(QWidget *parent)
    : QDialog(parent)
    , ui(new Ui::ConfigDialog)
    , settings(QStringLiteral("OrvaRadio"), QStringLiteral("OrvaRadio"))
{
    ui->setupUi(this);

    // The names start-up gives the application, so that the store read here
    // is the desk's whoever opens the dialog.
    QCoreApplication::setOrganizationName(QStringLiteral("OrvaRadio"));
    QCoreApplication::setApplicationName(QStringLiteral("OrvaRadio"));
    const QSettings stored;
    ui->fadeInOut->setValue(wholeNumber(stored, QStringLiteral("volume/TransitionAudioTime")));
    // The speed shown is the one the desk uses: a speed of 0 would leave
    // the music silent, and one too fast for the talk-over level is lowered.
    talkLevel = StartValues::talkLevel(stored.value(QStringLiteral("volume/volumeToTalk")));
    ui->speedFade->setMinimum(1);
    ui->speedFade->setValue(int(std::lround(
        10.0f * StartValues::fadeStep(stored.value(QStringLiteral("volume/speedFade")), talkLevel))));
    ui->music_path->setText(stored.value(QStringLiteral("files/defaultDir")).toString());
    ui->jingle_path->setText(stored.value(QStringLiteral("files/jingleDir")).toString());
    ui->time_path->setText(stored.value(QStringLiteral("files/audioTimeDir")).toString());
    const auto options = optionBoxes();
    for (size_t i = 0; i < options.size(); ++i)
        options[i]->setChecked(stored.value(QLatin1String(kOptionKeys[i]), false).toBool());
    ui->loudnessNormalize->setChecked(stored.value(QStringLiteral("audio/loudnessNormalize"), false).toBool());
    ui->loudnessTarget->setValue(Loudness::targetFrom(stored.value(QStringLiteral("audio/loudnessTarget"))));
    listOutputs(ui->outputDevice, tr("Padrão do sistema"),
                stored.value(QStringLiteral("audio/outputDevice")).toString());
    listOutputs(ui->previewDevice, tr("Nenhuma"),
                stored.value(QStringLiteral("audio/previewDevice")).toString());
    const auto nowPlaying = nowPlayingFields();
    for (size_t i = 0; i < nowPlaying.size(); ++i)
        nowPlaying[i]->setText(stored.value(QLatin1String(kNowPlayingKeys[i])).toString());
    ui->nowPlayingFolder->setPlaceholderText(NowPlaying::folderFrom(QString()));
    ui->nowPlayingAllKinds->setChecked(stored.value(QStringLiteral("nowplaying/allKinds"), false).toBool());

    connect(ui->buttonBox, &QDialogButtonBox::accepted, this, &ConfigDialog::accept);
    connect(ui->buttonBox, &QDialogButtonBox::rejected, this, &ConfigDialog::reject);

    // Fixed at what its texts need in the language in use, before the desk
    // centres it by its size. The texts came after the layouts first measured
    // the widgets, and a nested layout keeps its old measure until told.
    ensurePolished();
    for (QLayout *layout : findChildren<QLayout *>())
        layout->invalidate();
    setFixedSize(sizeHint());
}

ConfigDialog::~ConfigDialog()
{
    delete ui;
}

void ConfigDialog::accept()
{
    const int fastest = StartValues::fastestFadeSpeed(talkLevel);
    if (ui->speedFade->value() > fastest) {
        const int asked = ui->speedFade->value();
        ui->speedFade->setValue(fastest);
        QMessageBox::information(
            this, tr("Velocidade do FadeIn e Out"),
            tr("A velocidade %1 é rápida demais para baixar a música ao nível de fala (%2%). "
               "A mais rápida que funciona é %3: ajustada. Salve de novo para confirmar.")
                .arg(asked)
                .arg(int(std::lround(100.0f * talkLevel)))
                .arg(fastest));
        return;
    }
    // The operator's private listening must never be heard on air.
    const QString airOutput = ui->outputDevice->currentData().toString();
    const QString previewOutput = ui->previewDevice->currentData().toString();
    if (!previewOutput.isEmpty()
        && previewOutput == (airOutput.isEmpty() ? QString::fromUtf8(QMediaDevices::defaultAudioOutput().id()) : airOutput)) {
        ui->previewDevice->setCurrentIndex(0);
        QMessageBox::information(this, tr("Saída de pré-escuta"),
                                 tr("A pré-escuta não pode usar a saída do ar (%1): seria ouvida no ar. "
                                    "Ficou \"Nenhuma\"; escolha outra saída ou salve de novo para confirmar.")
                                     .arg(previewOutput));
        return;
    }
    settings.setValue(QStringLiteral("volume/TransitionAudioTime"), ui->fadeInOut->value());
    settings.setValue(QStringLiteral("volume/speedFade"), ui->speedFade->value());
    settings.setValue(QStringLiteral("files/defaultDir"), ui->music_path->text());
    settings.setValue(QStringLiteral("files/jingleDir"), ui->jingle_path->text());
    settings.setValue(QStringLiteral("files/audioTimeDir"), ui->time_path->text());
    const auto options = optionBoxes();
    for (size_t i = 0; i < options.size(); ++i)
        settings.setValue(QLatin1String(kOptionKeys[i]), options[i]->isChecked());
    settings.setValue(QStringLiteral("audio/loudnessNormalize"), ui->loudnessNormalize->isChecked());
    settings.setValue(QStringLiteral("audio/loudnessTarget"), ui->loudnessTarget->value());
    settings.setValue(QStringLiteral("audio/outputDevice"), ui->outputDevice->currentData().toString());
    settings.setValue(QStringLiteral("audio/previewDevice"), ui->previewDevice->currentData().toString());
    const auto nowPlaying = nowPlayingFields();
    for (size_t i = 0; i < nowPlaying.size(); ++i)
        settings.setValue(QLatin1String(kNowPlayingKeys[i]), nowPlaying[i]->text());
    settings.setValue(QStringLiteral("nowplaying/allKinds"), ui->nowPlayingAllKinds->isChecked());
    keepSettingsPrivate(settings);
    QDialog::accept();
}

std::array<QCheckBox *, 4> ConfigDialog::optionBoxes() const
{
    return {ui->sayClock, ui->sayClockFade, ui->stopFade, ui->talkFade};
}

std::array<QLineEdit *, 5> ConfigDialog::nowPlayingFields() const
{
    return {ui->nowPlayingFolder, ui->streamServerUrl, ui->streamMount, ui->streamUser, ui->streamPassword};
}

void ConfigDialog::listOutputs(QComboBox *box, const QString &none, const QString &stored)
{
    box->addItem(none, QString());
    const QList<QAudioDevice> outputs = QMediaDevices::audioOutputs();
    for (const QAudioDevice &device : outputs) {
        const QString id = QString::fromUtf8(device.id());
        box->addItem(QStringLiteral("%1 (%2)").arg(device.description(), id), id);
    }
    if (!stored.isEmpty() && box->findData(stored) < 0)
        box->addItem(tr("%1 (não conectada)").arg(stored), stored);
    box->setCurrentIndex(std::max(0, box->findData(stored)));
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

void ConfigDialog::on_btn_searchNowPlayingPath_clicked()
{
    pickFolder(ui->nowPlayingFolder, tr("Selecionar pasta dos arquivos de agora no ar"),
               NowPlaying::folderFrom(ui->nowPlayingFolder->text()));
}
