#include "configdialog.h"
#include "ui_configdialog.h"
#include "startvalues.h"
#include "loudness.h"
#include "nowplaying.h"
#include "airfeeds.h"

#include <QAudioDevice>
#include <QComboBox>
#include <QDir>
#include <QFileDialog>
#include <QLayout>
#include <QMediaDevices>
#include <QMessageBox>
#include <QSpinBox>

#include <algorithm>
#include <cmath>

namespace {

// A number stored as a decimal ("5.0") is refused by QVariant::toInt();
// truncating reads it as 5. A missing key or a word reads as `fallback`.
int wholeNumber(const QSettings &settings, const QString &key, int fallback = 0)
{
    bool ok = false;
    const double value = settings.value(key).toDouble(&ok);
    return ok ? int(value) : fallback;
}

// A format word the desk does not know shows, and is saved, as the box's
// first item, the desk's default.
void showFormat(QComboBox *box, const QVariant &stored)
{
    box->setCurrentIndex(std::max(0, box->findData(stored.toString())));
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
    const StartValues::AutoCue autoCue = StartValues::autoCue(stored);
    ui->autoCue->setChecked(autoCue.on);
    ui->autoCueSilence->setValue(autoCue.silenceDb);
    ui->autoCueFade->setValue(autoCue.fadeLu);
    // The thresholds matter only while the silence is cut.
    for (QWidget *threshold : {ui->autoCueSilence, ui->autoCueFade}) {
        threshold->setEnabled(autoCue.on);
        connect(ui->autoCue, &QCheckBox::toggled, threshold, &QWidget::setEnabled);
    }
    listOutputs(ui->outputDevice, tr("Padrão do sistema"),
                stored.value(QStringLiteral("audio/outputDevice")).toString());
    listOutputs(ui->previewDevice, tr("Nenhuma"),
                stored.value(QStringLiteral("audio/previewDevice")).toString());
    const auto nowPlaying = nowPlayingFields();
    for (size_t i = 0; i < nowPlaying.size(); ++i)
        nowPlaying[i]->setText(stored.value(QLatin1String(kNowPlayingKeys[i])).toString());
    ui->nowPlayingFolder->setPlaceholderText(NowPlaying::folderFrom(QString()));
    ui->nowPlayingAllKinds->setChecked(stored.value(QStringLiteral("nowplaying/allKinds"), false).toBool());

    // The stream and the air check; the form holds their default numbers.
    ui->streamOn->setChecked(stored.value(QStringLiteral("stream/enabled"), false).toBool());
    ui->sourceServerUrl->setText(stored.value(QStringLiteral("stream/serverUrl")).toString());
    ui->sourceMount->setText(stored.value(QStringLiteral("stream/mount")).toString());
    ui->sourceUser->setText(stored.value(QStringLiteral("stream/user")).toString());
    ui->sourcePassword->setText(stored.value(QStringLiteral("stream/password")).toString());
    ui->sourceFormat->addItem(QStringLiteral("MP3"), QStringLiteral("mp3"));
    ui->sourceFormat->addItem(QStringLiteral("Ogg Opus"), QStringLiteral("opus"));
    showFormat(ui->sourceFormat, stored.value(QStringLiteral("stream/format")));
    ui->sourceBitrate->setValue(wholeNumber(stored, QStringLiteral("stream/bitrate"), ui->sourceBitrate->value()));
    ui->aircheckOn->setChecked(stored.value(QStringLiteral("aircheck/enabled"), false).toBool());
    ui->aircheckFolder->setText(stored.value(QStringLiteral("aircheck/folder")).toString());
    ui->aircheckFolder->setPlaceholderText(AirFeeds::airCheckFolder(QString()));
    ui->aircheckDays->setValue(wholeNumber(stored, QStringLiteral("aircheck/days"), ui->aircheckDays->value()));
    ui->aircheckFileMinutes->setValue(
        wholeNumber(stored, QStringLiteral("aircheck/fileMinutes"), ui->aircheckFileMinutes->value()));
    ui->aircheckFormat->addItem(QStringLiteral("Ogg Opus"), QStringLiteral("opus"));
    ui->aircheckFormat->addItem(QStringLiteral("MP3"), QStringLiteral("mp3"));
    showFormat(ui->aircheckFormat, stored.value(QStringLiteral("aircheck/format")));

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
    settings.setValue(QStringLiteral("audio/autoCue"), ui->autoCue->isChecked());
    settings.setValue(QStringLiteral("audio/autoCueSilence"), ui->autoCueSilence->value());
    settings.setValue(QStringLiteral("audio/autoCueFade"), ui->autoCueFade->value());
    settings.setValue(QStringLiteral("audio/outputDevice"), ui->outputDevice->currentData().toString());
    settings.setValue(QStringLiteral("audio/previewDevice"), ui->previewDevice->currentData().toString());
    const auto nowPlaying = nowPlayingFields();
    for (size_t i = 0; i < nowPlaying.size(); ++i)
        settings.setValue(QLatin1String(kNowPlayingKeys[i]), nowPlaying[i]->text());
    settings.setValue(QStringLiteral("nowplaying/allKinds"), ui->nowPlayingAllKinds->isChecked());
    settings.setValue(QStringLiteral("stream/enabled"), ui->streamOn->isChecked());
    settings.setValue(QStringLiteral("stream/serverUrl"), ui->sourceServerUrl->text());
    settings.setValue(QStringLiteral("stream/mount"), ui->sourceMount->text());
    settings.setValue(QStringLiteral("stream/user"), ui->sourceUser->text());
    settings.setValue(QStringLiteral("stream/password"), ui->sourcePassword->text());
    settings.setValue(QStringLiteral("stream/format"), ui->sourceFormat->currentData().toString());
    settings.setValue(QStringLiteral("stream/bitrate"), ui->sourceBitrate->value());
    settings.setValue(QStringLiteral("aircheck/enabled"), ui->aircheckOn->isChecked());
    settings.setValue(QStringLiteral("aircheck/folder"), ui->aircheckFolder->text());
    settings.setValue(QStringLiteral("aircheck/days"), ui->aircheckDays->value());
    settings.setValue(QStringLiteral("aircheck/fileMinutes"), ui->aircheckFileMinutes->value());
    settings.setValue(QStringLiteral("aircheck/format"), ui->aircheckFormat->currentData().toString());
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

void ConfigDialog::on_btn_searchAircheckPath_clicked()
{
    // Starts in the stored folder, not in the field's text, which may be an
    // unsaved edit.
    const QString stored = settings.value(QStringLiteral("aircheck/folder")).toString();
    pickFolder(ui->aircheckFolder, tr("Selecionar pasta da gravação do ar"),
               stored.isEmpty() ? ui->aircheckFolder->placeholderText() : stored);
}
