#include "rowmenu.h"
#include "outputdevices.h"
#include "preparation.h"
#include "preview.h"

#include <QCoreApplication>
#include <QMenu>

namespace {

QString formText(const char *text)
{
    return QCoreApplication::translate("MainWindow", text);
}

// Why the row menu cannot preview, in the operator's words; empty when it can.
QString previewUnavailable(OutputDevices::PreviewState state)
{
    switch (state) {
    case OutputDevices::PreviewState::Ready:
        break;
    case OutputDevices::PreviewState::NotSet:
        return formText("Escolha uma saída de pré-escuta na configuração.");
    case OutputDevices::PreviewState::SameAsAir:
        return formText("A saída de pré-escuta é a mesma do ar: escolha outra na configuração.");
    case OutputDevices::PreviewState::Missing:
        return formText("A saída de pré-escuta não está conectada.");
    }
    return QString();
}

} // namespace

void RowMenu::open(QWidget *parent, const Sources &sources, int row, const Playlist &entry, const Actions &actions,
                   const QPoint &at)
{
    auto *menu = new QMenu(parent);
    menu->setAttribute(Qt::WA_DeleteOnClose);
    QObject::connect(menu->addAction(QIcon(QStringLiteral(":/images/icons/media-playback-start.svg")),
                                     QStringLiteral("Tocar Este")),
                     &QAction::triggered, parent, actions.play);
    QObject::connect(menu->addAction(QIcon(QStringLiteral(":/images/icons/go-last.svg")),
                                     QStringLiteral("Marcar como Próximo")),
                     &QAction::triggered, parent, actions.markNext);
    QObject::connect(menu->addAction(QIcon(QStringLiteral(":/images/icons/clock.svg")), formText("Hora Fixa…")),
                     &QAction::triggered, parent, actions.fixedTime);
    QMenu *listen = menu->addMenu(QIcon(QStringLiteral(":/images/icons/preferences-desktop-sound.svg")),
                                  QStringLiteral("Pré Escuta"));
    const OutputDevices::PreviewState state = sources.outputs->previewState();
    const QString why = previewUnavailable(state);
    QString file;
    if (why.isEmpty()) {
        file = sources.preparation->entryFile(row, entry);
        if (file.isEmpty() && entry.kind.startsWith(QLatin1String("folder-")))
            file = sources.preparation->pickIn(entry.path);
    }
    Preview *preview = sources.preview;
    QObject::connect(listen->addAction(QStringLiteral("Do início")), &QAction::triggered, preview,
                     [preview, file] { preview->start(file, false); });
    QObject::connect(listen->addAction(QStringLiteral("Últimos 15 segundos")), &QAction::triggered, preview,
                     [preview, file] { preview->start(file, true); });
    for (QAction *action : listen->actions()) {
        action->setEnabled(!file.isEmpty());
        action->setToolTip(why);
    }
    listen->setToolTipsVisible(true);
    // Stopping is always at hand, whatever became of the outputs meanwhile.
    QObject::connect(listen->addAction(QStringLiteral("Parar a pré-escuta")), &QAction::triggered, preview,
                     &Preview::stop);
    if (state == OutputDevices::PreviewState::NotSet) {
        listen->menuAction()->setEnabled(false);
        listen->menuAction()->setToolTip(why);
        menu->setToolTipsVisible(true);
    }
    menu->addSeparator();
    QObject::connect(menu->addAction(QIcon(QStringLiteral(":/images/icons/edit-delete.svg")),
                                     QStringLiteral("Apagar")),
                     &QAction::triggered, parent, actions.remove);
    menu->popup(at);
}
