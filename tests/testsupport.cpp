#include "testsupport.h"

#include <QDir>
#include <QTemporaryDir>

#include <cstdlib>

namespace {
QTemporaryDir *root = nullptr;
}

namespace TestSupport {

void isolateEnvironment()
{
    root = new QTemporaryDir(QDir::tempPath() + QStringLiteral("/orvaradio-test-XXXXXX"));
    const QString base = root->path();
    const struct {
        const char *name;
        const char *folder;
    } folders[] = {
        {"HOME", "home"},
        {"XDG_CONFIG_HOME", "home/.config"},
        {"XDG_DATA_HOME", "home/.local/share"},
        {"XDG_CACHE_HOME", "home/.cache"},
        {"TMPDIR", "tmp"},
    };
    for (const auto &folder : folders) {
        const QString path = base + QLatin1Char('/') + QLatin1String(folder.folder);
        QDir().mkpath(path);
        qputenv(folder.name, path.toLocal8Bit());
    }
    std::atexit([] { delete root; });
}

QString privateRoot()
{
    return root ? root->path() : QString();
}

} // namespace TestSupport
