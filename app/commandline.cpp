#include "commandline.h"
#include "mainwindow.h"

#include <QByteArray>
#include <QCoreApplication>
#include <QList>
#include <QSettings>
#include <QTranslator>

#include <cstdio>
#include <cstdlib>
#include <unistd.h>

namespace {

const char *const kUsage = QT_TRANSLATE_NOOP(
    "MainWindow",
    "Uso: orvaradio [--help | --version] [opções do Qt, como -platform offscreen]\n"
    "A mesa com que um operador põe uma emissora de rádio no ar.\n"
    "  --help     mostra este texto\n"
    "  --version  mostra a versão\n"
    "Veja também: orvaradio-report, orvaradio-time-voices, man orvaradio.");
const char *const kNoDisplay = QT_TRANSLATE_NOOP(
    "MainWindow",
    "O OrvaRadio precisa de uma sessão gráfica: nenhuma tela encontrada "
    "(DISPLAY/WAYLAND_DISPLAY não definidas)");
const char *const kDisplayNotOpened = QT_TRANSLATE_NOOP(
    "MainWindow", "O OrvaRadio precisa de uma sessão gráfica: a tela %1 não pôde ser aberta");

bool isSet(const char *variable)
{
    const char *value = std::getenv(variable);
    return value && *value;
}

// The platform asked for by "-platform NAME" (Qt takes "--platform" too), or
// else by QT_QPA_PLATFORM.
QByteArray platformAsked(int argc, char **argv)
{
    for (int i = 1; i + 1 < argc; ++i) {
        const QByteArray argument(argv[i]);
        if (argument == "-platform" || argument == "--platform")
            return argv[i + 1];
    }
    return qgetenv("QT_QPA_PLATFORM");
}

// The default platform and the window systems' own need a display; offscreen,
// VNC or a frame buffer do not.
bool needsDisplay(const QByteArray &platforms)
{
    if (platforms.isEmpty())
        return true;
    for (const QByteArray &platform : platforms.split(';')) {
        if (!platform.startsWith("xcb") && !platform.startsWith("wayland"))
            return false;
    }
    return true;
}

void printLine(FILE *stream, const QString &text)
{
    std::fprintf(stream, "%s\n", text.toLocal8Bit().constData());
    std::fflush(stream);
}

struct HeldMessage
{
    QtMsgType type;
    QByteArray file;
    int line;
    QByteArray function;
    QByteArray category;
    QString text;
};

QtMessageHandler previousHandler = nullptr;
QList<HeldMessage> *heldMessages = nullptr;

void holdMessage(QtMsgType type, const QMessageLogContext &context, const QString &text)
{
    if (type != QtFatalMsg) {
        heldMessages->append({type, context.file, context.line, context.function,
                              context.category, text});
        return;
    }
    // The platform's warnings say why; its closing advice (reinstall) is wrong
    // here and left out.
    for (const HeldMessage &held : std::as_const(*heldMessages))
        printLine(stderr, held.text);
    const QByteArray display = qgetenv(isSet("WAYLAND_DISPLAY") ? "WAYLAND_DISPLAY" : "DISPLAY");
    printLine(stderr, startText(kDisplayNotOpened).arg(QString::fromLocal8Bit(display)));
    // The platform aborts once this returns: nothing to tidy, the desk has
    // taken nothing yet.
    ::_exit(1);
}

} // namespace

QString startText(const char *source)
{
    // The desk's own default on a first start is English.
    QSettings settings(QStringLiteral("OrvaRadio"), QStringLiteral("OrvaRadio"));
    const QString language =
        settings.value(QStringLiteral("interface/language"), QStringLiteral("en_US")).toString();
    QTranslator translator;
    if (translator.load(QStringLiteral(":/languages/") + language + QStringLiteral(".qm"))) {
        const QString translated = translator.translate("MainWindow", source);
        if (!translated.isEmpty())
            return translated;
    }
    return QString::fromUtf8(source);
}

std::optional<int> answerBeforeStart(int argc, char **argv)
{
    for (int i = 1; i < argc; ++i) {
        const QByteArray argument(argv[i]);
        if (argument == "--help" || argument == "-h") {
            printLine(stdout, startText(kUsage));
            return 0;
        }
        if (argument == "--version") {
            printLine(stdout, QStringLiteral("OrvaRadio ") + QLatin1String(MainWindow::kVersion)
                                  + QStringLiteral("\nLicense GPL-3.0-or-later: GNU GPL version 3 or later "
                                                   "<https://www.gnu.org/licenses/gpl.html>.\n"
                                                   "This is free software: you are free to change and redistribute it.\n"
                                                   "There is NO WARRANTY, to the extent permitted by law."));
            return 0;
        }
    }
    if (needsDisplay(platformAsked(argc, argv)) && !isSet("DISPLAY") && !isSet("WAYLAND_DISPLAY")) {
        printLine(stderr, startText(kNoDisplay));
        return 1;
    }
    return std::nullopt;
}

DisplayCheck::DisplayCheck()
{
    heldMessages = new QList<HeldMessage>;
    previousHandler = qInstallMessageHandler(holdMessage);
}

DisplayCheck::~DisplayCheck()
{
    qInstallMessageHandler(previousHandler);
    for (const HeldMessage &held : std::as_const(*heldMessages)) {
        const QMessageLogContext context(held.file.constData(), held.line,
                                         held.function.constData(), held.category.constData());
        qt_message_output(held.type, context, held.text);
    }
    delete heldMessages;
    heldMessages = nullptr;
}
