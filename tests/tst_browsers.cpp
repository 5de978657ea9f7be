// The music and jingle browsers as the operator sees them.
#include "mainwindow.h"
#include "testsupport.h"

#include <QDir>
#include <QFile>
#include <QFileSystemModel>
#include <QSettings>
#include <QTreeView>

class BrowsersTest : public QObject
{
    Q_OBJECT

private slots:
    void listFoldersFirstThenNamesIgnoringCase()
    {
        TestSupport::clearSettings();
        // Outside the home folder, like a station's shared music folder.
        const QString folder = TestSupport::privateRoot() + "/sorted";
        QVERIFY(!folder.startsWith(QDir::homePath()));
        QVERIFY(QDir().mkpath(folder));
        // Created out of order, so that the folder's own order is not sorted.
        for (const char *name : {"04.mp3", "b.wav", "Zeta/", "06.mp3", "A.wav", "01.mp3", "alpha/"}) {
            const QString path = folder + '/' + QLatin1String(name);
            if (path.endsWith('/'))
                QVERIFY(QDir().mkpath(path));
            else
                QVERIFY(QFile(path).open(QIODevice::WriteOnly));
        }
        QSettings(QStringLiteral("OrvaRadio"), QStringLiteral("OrvaRadio"))
            .setValue(QStringLiteral("files/defaultDir"), folder);

        MainWindow window;
        const auto *files = window.findChild<QTreeView *>(QStringLiteral("files"));
        QVERIFY(files);
        const QModelIndex root = files->rootIndex();
        QCOMPARE(window.fileModel->filePath(root), folder);
        const auto shown = [&] {
            QStringList names;
            for (int row = 0; row < window.fileModel->rowCount(root); ++row)
                names << window.fileModel->index(row, 0, root).data().toString();
            return names;
        };
        QTRY_COMPARE(shown(), QStringList({"alpha", "Zeta", "01.mp3", "04.mp3", "06.mp3", "A.wav",
                                           "b.wav"}));
    }
};

ORVA_TEST_MAIN(BrowsersTest)
#include "tst_browsers.moc"
