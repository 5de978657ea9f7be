#ifndef WIDGETUPDATES_H
#define WIDGETUPDATES_H

#include <QTextEdit>
#include <QVariant>
#include <QWidget>

// The display's ticks write the same texts and sheets over and over. Setting
// a style sheet re-polishes the widget and all it holds, and setting a text
// view's text rebuilds and lays out its document, even when nothing changed:
// these do it only when something did.

inline void setStyleSheetIfChanged(QWidget *widget, const QString &sheet)
{
    if (widget->styleSheet() != sheet)
        widget->setStyleSheet(sheet);
}

inline void setTextIfChanged(QTextEdit *view, const QString &text)
{
    static const char kShown[] = "orvaradioShownText";
    const QVariant shown = view->property(kShown);
    if (shown.isValid() && shown.toString() == text)
        return;
    view->setText(text);
    view->setProperty(kShown, text);
}

#endif
