#include "mainwindow.h"
#include "selfrestart.h"
#include "ui_mainwindow.h"
#include "conversionqueue.h"
#include "widgetupdates.h"

#include <QHash>
#include <QScrollBar>

namespace {

struct KindLook
{
    QIcon icon;
    QColor background;
};

const KindLook &lookOf(const QString &kind)
{
    static const QHash<QString, KindLook> looks = {
        {QStringLiteral("music"),
         {QIcon(QStringLiteral(":/images/icons/audio-x-generic.png")), QColor(2, 28, 0)}},
        {QStringLiteral("jingle"),
         {QIcon(QStringLiteral(":/images/icons/audio-x-mpegurl.png")), QColor(23, 12, 0)}},
        {QStringLiteral("time"),
         {QIcon(QStringLiteral(":/images/icons/clock.svg")), QColor(23, 23, 23)}},
        {QStringLiteral("folder-music"),
         {QIcon(QStringLiteral(":/images/icons/folder.png")), QColor(0, 0, 0)}},
        {QStringLiteral("folder-jingle"),
         {QIcon(QStringLiteral(":/images/icons/folder.png")), QColor(0, 0, 0)}},
    };
    static const KindLook unknown = {QIcon(), QColor(0, 0, 0)};
    const auto found = looks.constFind(kind);
    return found == looks.constEnd() ? unknown : *found;
}

// Titles come from tags of files made elsewhere; they are shown as they are,
// never interpreted as markup.
QString centred(const QString &title)
{
    return QStringLiteral("<p align='center'>") + title.toHtmlEscaped() + QStringLiteral("</p>");
}

void paintRow(QTreeWidgetItem *item, const QBrush &background, const QBrush &foreground)
{
    for (int column = 0; column < 3; ++column) {
        item->setBackground(column, background);
        item->setForeground(column, foreground);
    }
}

} // namespace

void MainWindow::updateAudioList(bool jump)
{
    QTreeWidget *view = ui->audio_list;
    const int selectedRow = view->currentIndex().row();
    view->clear();

    const int size = int(playlist.size());
    // An on-air entry removed from the list still plays: the on-air box names
    // it, no row is lit as on air, and the entry that followed it is next.
    const bool currentValid = !removedOnAir && currentIndex >= 0 && currentIndex < size;
    if (removedOnAir)
        setTextIfChanged(ui->current_audio, centred(removedOnAir->title));
    else
        setTextIfChanged(ui->current_audio, currentValid ? centred(playlist[currentIndex].title)
                                                         : centred(QString()));
    const bool follows = currentValid || (removedOnAir && currentIndex >= -1 && size > 0);
    // A marked entry stays next until it starts or is removed.
    const bool keepNext = jump || nextMarked;
    if (follows && !keepNext)
        nextIndex = currentIndex + 1 > size - 1 ? 0 : currentIndex + 1;
    // The next box shows what plays next, a marked entry included.
    if ((follows || keepNext) && nextIndex >= 0 && nextIndex < size)
        setTextIfChanged(ui->next_audio, centred(playlist[nextIndex].title));
    else if (nextIndex < 0 || nextIndex >= size)
        // No valid next entry: an old title would tell the operator something false.
        setTextIfChanged(ui->next_audio, centred(QString()));

    QList<QTreeWidgetItem *> items;
    items.reserve(size);
    for (const Playlist &entry : playlist) {
        auto *item = new QTreeWidgetItem;
        const KindLook &look = lookOf(entry.kind);
        if (!look.icon.isNull())
            item->setData(0, Qt::DecorationRole, look.icon);
        item->setText(1, entry.kind == QLatin1String("time")
                             ? QCoreApplication::translate("MainWindow", entry.title.toUtf8().constData())
                             : entry.title);
        item->setText(2, entry.duration);
        paintRow(item, look.background, Qt::white);
        items.append(item);
    }
    view->addTopLevelItems(items);

    if (onAir) {
        const bool nextValid = nextIndex >= 0 && nextIndex < size;
        if (nextValid && nextIndex != currentIndex)
            paintRow(items[nextIndex], QColor(255, 100, 103), Qt::white);
        if (currentValid)
            paintRow(items[currentIndex], QColor(5, 223, 114), Qt::black);
    }

    if (selectedRow >= 0 && selectedRow < size)
        view->setCurrentItem(items[selectedRow]);

    // Every change of the running order or of its marks ends here.
    if (conversions)
        conversions->plan(playlist, currentIndex, nextIndex, onAir);
    SelfRestart::keep(*this);
}

void MainWindow::showOnAirRow()
{
    QTreeWidget *view = ui->audio_list;
    if (!onAir || view->verticalScrollBar()->isSliderDown())
        return;
    if (QTreeWidgetItem *row = view->topLevelItem(currentIndex))
        view->scrollToItem(row, QAbstractItemView::EnsureVisible);
}
