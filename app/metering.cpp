#include "mainwindow.h"

void MainWindow::calculateRMS(const QAudioBuffer &buffer)
{
    airLevels.take(sender() == bufferOutput2 ? 1 : 0, buffer);
}
