#include "airguard.h"

#include <QCoreApplication>
#include <QMessageBox>
#include <QPushButton>

bool confirmOffAir(QWidget *window, const QString &title, const QString &question,
                   const QString &goAhead)
{
    QMessageBox box(QMessageBox::Warning, title, question, QMessageBox::NoButton, window);
    QPushButton *go = box.addButton(goAhead, QMessageBox::DestructiveRole);
    QPushButton *stay = box.addButton(QCoreApplication::translate("MainWindow", "Continuar no ar"),
                                      QMessageBox::RejectRole);
    box.setDefaultButton(stay);
    box.setEscapeButton(stay);
    box.exec();
    return box.clickedButton() == go;
}
