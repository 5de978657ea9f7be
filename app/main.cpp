#include "mainwindow.h"
#include "startup.h"

#include <QApplication>
#include <QPixmap>
#include <QSharedMemory>
#include <QSplashScreen>
#include <QStyleFactory>
#include <QTimer>

#include <memory>

int main(int argc, char *argv[])
{
    limitAllocatorArenas();
    installCrashHandler();

    auto app = std::make_unique<QApplication>(argc, argv);

    auto marker = std::make_unique<QSharedMemory>();
    setInstanceKey(*marker);
    if (!takeInstanceMarker(*marker)) {
        marker.reset();
        app.reset();
        return 0;
    }

    QCoreApplication::setOrganizationName(QStringLiteral("OrvaRadio"));
    QCoreApplication::setApplicationName(QStringLiteral("OrvaRadio"));

    auto window = std::make_unique<MainWindow>();

    auto picture = std::make_unique<QPixmap>(QStringLiteral(":/images/splash-02.png"));
    auto scaled = std::make_unique<QPixmap>(
        picture->scaled(500, 300, Qt::IgnoreAspectRatio, Qt::FastTransformation));
    auto splash = std::make_unique<QSplashScreen>(*scaled);

    auto styleNames = std::make_unique<QStringList>(QStyleFactory::keys());
    applyDeskStyle(*app, *styleNames);

    splash->show();
    QCoreApplication::processEvents(QEventLoop::AllEvents);

    auto handOverTimer = std::make_unique<QTimer>();
    handOverTimer->setSingleShot(true);
    QObject::connect(handOverTimer.get(), &QTimer::timeout, splash.get(),
                     [&splash, &window] { handOverSplash(splash.get(), window.get()); });
    handOverTimer->start(2000);

    const int code = QApplication::exec();

    handOverTimer.reset();
    styleNames.reset();
    splash.reset();
    scaled.reset();
    picture.reset();
    window.reset();
    marker.reset();
    app.reset();
    return code;
}
