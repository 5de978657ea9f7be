#include "aboutdialog.h"
#include "ui_about_dialog.h"

#include "mainwindow.h"

namespace {
const char *const kBuild = "+build.534";
}

AboutDialog::AboutDialog(QWidget *parent)
    : QDialog(parent)
    , ui(new Ui::AboutDialog)
{
    ui->setupUi(this);
    setFixedSize(size());

    const QString site = QLatin1String(MainWindow::kSiteUrl);
    ui->creator->setText(tr("por:") + QStringLiteral(" <a href=\"%1/equipe\">Equipe OrvaRadio</a>").arg(site));
    ui->version->setText(tr("Versão: ") + QLatin1String(MainWindow::kVersion)
                         + QLatin1String(kBuild));
    ui->website->setText(QStringLiteral("<a href=\"%1\">%1</a>").arg(site));
}

AboutDialog::~AboutDialog()
{
    delete ui;
}
