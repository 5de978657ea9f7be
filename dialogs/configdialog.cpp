#include "configdialog.h"

ConfigDialog::ConfigDialog(QWidget *parent)
    : QDialog(parent)
{
}
