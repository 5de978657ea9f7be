#include "buttonhole.h"
#include "mainwindow.h"

void MainWindow::createCarts()
{
    for (int n = 1; n <= 10; ++n) {
        auto *cart = new ButtonHole(this);
        cart->setGeometry(340 + 70 * (n - 1), 574, 60, 40);
        cart->setBtnText(QString::number(n));
        cart->setLoudness(loudness);
        cart->setOutputs(outputs);
        cart->setEvents(airEvents);
        cart->show();
        carts.append(cart);
    }
}
