#ifndef ROWMENU_H
#define ROWMENU_H

#include "playlist.h"

#include <QPoint>

#include <functional>

class OutputDevices;
class Preparation;
class Preview;
class QWidget;

// The running order's row menu: play the row, mark it next, its fixed time,
// preview it, delete it. The same in every interface language, but for the
// fixed time and the reasons a preview cannot be had.
namespace RowMenu {

struct Actions
{
    std::function<void()> play;
    std::function<void()> markNext;
    std::function<void()> fixedTime;
    std::function<void()> remove;
};

struct Sources
{
    OutputDevices *outputs = nullptr;
    Preview *preview = nullptr;
    Preparation *preparation = nullptr;
};

// Opens the menu at `at` (global) for `entry`, row `row` of the order.
void open(QWidget *parent, const Sources &sources, int row, const Playlist &entry, const Actions &actions,
          const QPoint &at);

} // namespace RowMenu

#endif
