#ifndef CONFIGDIALOG_H
#define CONFIGDIALOG_H

#include <QDialog>
#include <QSettings>

#include <array>

QT_BEGIN_NAMESPACE
namespace Ui {
class ConfigDialog;
}
QT_END_NAMESPACE

class QCheckBox;
class QComboBox;
class QLineEdit;

// Edits the stored preferences; the desk reads them at its next start.
class ConfigDialog : public QDialog
{
    Q_OBJECT

public:
    explicit ConfigDialog(QWidget *parent = nullptr);
    ~ConfigDialog() override;

public slots:
    void accept() override;
    void on_btn_searchMusicPath_clicked();
    void on_btn_searchJinglePath_clicked();
    void on_btn_searchTimePath_clicked();
    void on_btn_searchNowPlayingPath_clicked();
    void on_btn_searchAircheckPath_clicked();

private:
    // The four option boxes, in the order of their keys.
    std::array<QCheckBox *, 4> optionBoxes() const;
    // The now-playing folder and the stream server's fields, in the order of their keys.
    std::array<QLineEdit *, 5> nowPlayingFields() const;
    void pickFolder(QLineEdit *field, const QString &title, const QString &startFolder);
    // The machine's outputs, `none` first; a stored output that is not
    // there now stays in the list, marked, so that saving keeps it.
    static void listOutputs(QComboBox *box, const QString &none, const QString &stored);

    Ui::ConfigDialog *ui;
    QSettings settings;
    // The talk-over level the fade speed must be able to duck to.
    float talkLevel = 0.8f;
};

#endif
