#include "orderview.h"
#include "channel.h"
#include "fixedstarts.h"
#include "loudness.h"
#include "onairevents.h"
#include "preparation.h"
#include "sequencer.h"
#include "tags.h"
#include "viewhold.h"
#include "widgetupdates.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <QHash>
#include <QLabel>
#include <QTreeWidget>

namespace {

// The texts are the window's: one catalogue context for the whole form.
QString formText(const char *text)
{
    return QCoreApplication::translate("MainWindow", text);
}

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

// A time entry keeps the title it was made with; the row and the boxes show
// it in the interface language.
QString nameOf(const Playlist &entry)
{
    return entry.kind == QLatin1String("time")
               ? QCoreApplication::translate("MainWindow", entry.title.toUtf8().constData())
               : entry.title;
}

// The columns of a row: the kind's icon, name, duration and expected start.
constexpr int kColumns = 4;
constexpr int kStartColumn = 3;

// A row with a fixed start.
const QColor kFixedBackground(10, 30, 80);

void paintRow(QTreeWidgetItem *item, const QBrush &background, const QBrush &foreground)
{
    for (int column = 0; column < kColumns; ++column) {
        item->setBackground(column, background);
        item->setForeground(column, foreground);
    }
}

// A row that will not go on air.
const QColor kBadText(255, 170, 60);

QString problemText(const MediaCheck::Verdict &verdict)
{
    switch (verdict.problem) {
    case MediaCheck::Problem::None:
        break;
    case MediaCheck::Problem::Unreadable:
        return formText("arquivo não encontrado ou sem permissão de leitura");
    case MediaCheck::Problem::Empty:
        return formText("arquivo vazio");
    case MediaCheck::Problem::NotAudio:
        return formText("não é um arquivo de áudio");
    case MediaCheck::Problem::NoAudioData:
        return formText("WAV sem dados de áudio");
    case MediaCheck::Problem::DecodeErrors:
        return formText("o áudio está danificado");
    case MediaCheck::Problem::Short:
        return formText("o áudio acaba antes da hora");
    case MediaCheck::Problem::EmptyFolder:
        return formText("pasta sem áudio");
    }
    return QString();
}

// The measured loudness of a row's file and the gain it will play at.
QString loudnessTip(const Loudness &loudness, const QString &file)
{
    if (file.isEmpty())
        return QString();
    const std::optional<LoudnessMeasure> measure = loudness.measure(file);
    // Adding 0 turns -0.0 into 0.0.
    const QString gain = loudness.normalizing()
                             ? formText("ganho %1 dB").arg(loudness.gainDb(file) + 0.0, 0, 'f', 1)
                             : formText("normalização desligada");
    if (!measure)
        return loudness.normalizing() ? formText("Loudness ainda não medida: %1 (estimado)").arg(gain)
                                      : QString();
    return formText("Loudness %1 LUFS, pico %2 dBTP: %3")
        .arg(measure->integrated, 0, 'f', 1)
        .arg(measure->truePeak, 0, 'f', 1)
        .arg(gain);
}

} // namespace

OrderView::OrderView(const Boxes &boxes, const Sources &sources, QObject *parent)
    : QObject(parent)
    , boxes(boxes)
    , playlist(*sources.order)
    , sequencer(sources.sequencer)
    , preparation(sources.preparation)
    , loudness(sources.loudness)
    , fixedStarts(sources.fixedStarts)
    , events(sources.events)
    , hold(sources.hold)
{
}

void OrderView::show(bool jump)
{
    QTreeWidget *view = boxes.list;
    const int selectedRow = view->currentIndex().row();
    view->clear();

    const int size = int(playlist.size());
    const std::optional<Playlist> &removedOnAir = sequencer->removedOnAir();
    const int currentIndex = sequencer->currentIndex();
    const bool onAir = sequencer->onAir();
    // An on-air entry removed from the list still plays: the on-air box names
    // it, no row is lit as on air, and the entry that followed it is next.
    const bool currentValid = !removedOnAir && currentIndex >= 0 && currentIndex < size;
    if (removedOnAir)
        setTextIfChanged(boxes.current, centred(nameOf(*removedOnAir)));
    else
        setTextIfChanged(boxes.current, currentValid ? centred(nameOf(playlist[currentIndex]))
                                                         : centred(QString()));
    const bool follows = currentValid || (removedOnAir && currentIndex >= -1 && size > 0);
    const bool keepNext = jump || sequencer->nextMarked();
    sequencer->settleNext(jump);
    const int nextIndex = sequencer->nextIndex();
    // Every change of the running order or of its marks ends here: the
    // preparation follows it, and a folder that is next picks its file.
    preparation->plan(playlist, currentIndex, nextIndex, onAir);
    fixedStarts->plan(playlist);
    // The next box shows what plays next, a marked entry included, and for
    // a folder the file it picked.
    if ((follows || keepNext) && nextIndex >= 0 && nextIndex < size) {
        setTextIfChanged(boxes.next, centred(playlist[size_t(nextIndex)].kind == QLatin1String("time")
                                                     ? nameOf(playlist[size_t(nextIndex)])
                                                     : shownTitle(nextIndex)));
    } else if (nextIndex < 0 || nextIndex >= size) {
        // No valid next entry: an old title would tell the operator something false.
        setTextIfChanged(boxes.next, centred(QString()));
    }
    tellWhatComes();

    QList<QTreeWidgetItem *> items;
    items.reserve(size);
    for (const Playlist &entry : playlist) {
        auto *item = new QTreeWidgetItem;
        const KindLook &look = lookOf(entry.kind);
        if (!look.icon.isNull())
            item->setData(0, Qt::DecorationRole, look.icon);
        item->setText(1, nameOf(entry));
        item->setText(2, entry.duration);
        paintRow(item, entry.fixed.isSet() ? kFixedBackground : look.background, Qt::white);
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
    showVerdicts();
    showStartTimes();
}

QString OrderView::shownTitle(int index) const
{
    const Playlist &entry = playlist[size_t(index)];
    const QString pick = entry.kind.startsWith(QLatin1String("folder-"))
                             ? preparation->pickOf(index, entry)
                             : QString();
    if (pick.isEmpty())
        return entry.title;
    const TagInfo tags = readTags(pick);
    return tags.title.isEmpty() ? cleanTitle(QFileInfo(pick).fileName()) : tags.title;
}

void OrderView::tellWhatComes()
{
    // What will really play: an entry known bad is passed over as the
    // sequencer will pass it over.
    QList<OnAirEvents::Next> coming;
    const int size = int(playlist.size());
    const int nextIndex = sequencer->nextIndex();
    for (int step = 0; nextIndex >= 0 && nextIndex < size && step < size; ++step) {
        const int index = (nextIndex + step) % size;
        const Playlist &entry = playlist[size_t(index)];
        // The plain order passes over fixed entries; a marked one is next.
        if ((step > 0 && entry.fixed.isSet()) || preparation->entryVerdict(index, entry).bad())
            continue;
        coming.append({shownTitle(index), preparation->entryFile(index, entry),
                       playedKind(entry.kind)});
        if (coming.last().kind == QLatin1String("music"))
            break;
    }
    events->setRunningOrder(sequencer->onAir(), coming);
}

void OrderView::setCues(std::function<CuePoints(const QString &path)> source)
{
    cuesOf = std::move(source);
    learnCues();
}

void OrderView::learnCues()
{
    rowCues.assign(playlist.size(), CuePoints());
    onAirFile.clear();
    if (!cuesOf)
        return;
    for (size_t row = 0; row < playlist.size(); ++row) {
        const QString file = preparation->entryFile(int(row), playlist[row]);
        if (!file.isEmpty())
            rowCues[row] = cuesOf(file);
    }
}

CuePoints OrderView::onAirCues(const Channel *channel) const
{
    if (!cuesOf)
        return {};
    // A folder's pick is known only to the record of what went on air.
    for (const OnAirEvents::Record &record : events->onAir()) {
        if (record.source != channel)
            continue;
        if (record.item.file != onAirFile) {
            onAirFile = record.item.file;
            onAirFileCues = onAirFile.isEmpty() ? CuePoints() : cuesOf(onAirFile);
        }
        return onAirFileCues;
    }
    return {};
}

void OrderView::showVerdicts()
{
    QTreeWidget *view = boxes.list;
    learnCues();
    tellWhatComes();
    static const QIcon badIcon(QStringLiteral(":/images/icons/process-stop.svg"));
    const int rows = qMin(view->topLevelItemCount(), int(playlist.size()));
    for (int row = 0; row < rows; ++row) {
        QTreeWidgetItem *item = view->topLevelItem(row);
        const MediaCheck::Verdict verdict = preparation->entryVerdict(row, playlist[size_t(row)]);
        QString tip;
        if (verdict.bad()) {
            tip = formText("Não vai ao ar: %1").arg(problemText(verdict));
            if (!verdict.detail.isEmpty())
                tip += QStringLiteral(" (") + verdict.detail + QLatin1Char(')');
        } else {
            tip = loudnessTip(*loudness, preparation->entryFile(row, playlist[size_t(row)]));
        }
        if (item->toolTip(1) == tip)
            continue;
        for (int column = 0; column < kColumns; ++column)
            item->setToolTip(column, tip);
        item->setData(0, Qt::DecorationRole,
                      verdict.bad() ? badIcon : lookOf(playlist[size_t(row)].kind).icon);
        // The on-air row is painted with black text, every other row white.
        const bool onAirRow = sequencer->onAir() && !sequencer->removedOnAir() && row == sequencer->currentIndex();
        const QBrush text = verdict.bad() ? QBrush(kBadText) : onAirRow ? QBrush(Qt::black) : QBrush(Qt::white);
        for (int column = 1; column < kColumns; ++column)
            item->setForeground(column, text);
    }
}

void OrderView::showOnAirRow()
{
    QTreeWidget *view = boxes.list;
    if (!sequencer->onAir() || hold->holding())
        return;
    if (QTreeWidgetItem *row = view->topLevelItem(sequencer->currentIndex()))
        view->scrollToItem(row, QAbstractItemView::EnsureVisible);
}

std::vector<StartTimes::Row> OrderView::expectedStarts() const
{
    StartTimes::Origin origin;
    origin.now = QDateTime::currentDateTime();
    const int size = int(playlist.size());
    const int currentIndex = sequencer->currentIndex();
    const bool currentValid = currentIndex >= 0 && currentIndex < size;
    if (!sequencer->onAir()) {
        // As if Play were pressed now.
        origin.row = currentValid ? currentIndex : 0;
        origin.at = origin.now;
    } else if (currentValid && !sequencer->removedOnAir()) {
        origin.row = currentIndex;
        origin.onAir = true;
        if (sequencer->nextMarked())
            origin.fixedNext = sequencer->nextIndex();
        // Music hands over before its end; an announcement's length is known
        // once it speaks.
        const qint64 remaining = sequencer->remainingTime();
        if (sequencer->announcing()) {
            if (remaining > 0)
                origin.at = origin.now.addMSecs(remaining);
        } else if (const Channel *channel = sequencer->reference()) {
            const bool music = playedKind(playlist[size_t(currentIndex)].kind) == QLatin1String("music");
            const qint64 leaves = leavingPoint(onAirCues(channel), music, sequencer->handOver());
            const qint64 overlap = sequencer->handOver() * 1000LL;
            if (leaves >= 0)
                origin.at = origin.now.addMSecs(qMax(0LL, leaves - channel->getPosition()));
            else
                origin.at = origin.now.addMSecs(music && remaining > overlap ? remaining - overlap : remaining);
        }
    } else {
        origin.row = -1;
    }
    return StartTimes::compute(playlist, origin, sequencer->handOver(), rowCues);
}

void OrderView::showStartTimes()
{
    const std::vector<StartTimes::Row> starts = expectedStarts();
    QTreeWidget *view = boxes.list;
    const int rows = qMin(view->topLevelItemCount(), int(starts.size()));
    for (int row = 0; row < rows; ++row) {
        QTreeWidgetItem *item = view->topLevelItem(row);
        const QString text = StartTimes::text(starts[size_t(row)]);
        if (item->text(kStartColumn) != text)
            item->setText(kStartColumn, text);
    }
    QString line;
    const QDateTime now = QDateTime::currentDateTime();
    const FixedStarts::Point next = fixedStarts->nextAfter(now);
    // The entry's own title: this runs every second, and a folder's pick
    // would read its tags from a share that may stall.
    if (next.row >= 0 && next.row < int(playlist.size()))
        line = (next.at.date() == now.date() ? formText("Hora fixa: %1 às %2, em %3") : formText("Hora fixa: %1 amanhã às %2, em %3"))
                   .arg(playlist[size_t(next.row)].title, next.at.toString(QStringLiteral("HH:mm:ss")),
                        StartTimes::span(now.msecsTo(next.at)));
    if (boxes.nextFixed->text() != line)
        boxes.nextFixed->setText(line);
}
