#include "mainwindow.h"

void MainWindow::calculateRMS(const QAudioBuffer &buffer)
{
    const std::optional<AirLevels::Rms> rms = AirLevels::rmsOf(buffer);
    if (!rms)
        return;
    // The item's own level, for the watchdog; the meters show the air.
    levelLeft = AirLevels::segmentsFor(rms->left);
    levelRight = AirLevels::segmentsFor(rms->right);
    lastBlockAt.start();
    airLevels.block(sender() == bufferOutput2 ? 1 : 0, rms->left, rms->right);
}
