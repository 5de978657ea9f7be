#include "mainwindow.h"
#include "ui_mainwindow.h"

#include <QGuiApplication>
#include <QScreen>

MainWindow::MainWindow(QWidget *parent)
    : QMainWindow(parent)
    , ui(new Ui::MainWindow)
{
    ui->setupUi(this);

    setMinimumSize(size());
    setMaximumSize(size());

    // Strong focus so that the digit keys of the cart wall reach keyPressEvent.
    setFocusPolicy(Qt::StrongFocus);
    setFocus();

    if (const QScreen *screen = QGuiApplication::primaryScreen()) {
        const QRect area = screen->availableGeometry();
        const QRect frame = frameGeometry();
        move((area.left() + area.right()) / 2 - frame.width() / 2,
             (area.top() + area.bottom()) / 2 - frame.height() / 2);
    }
}

MainWindow::~MainWindow()
{
    delete ui;
}
