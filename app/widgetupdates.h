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
    // The text last set here, and what it showed: a view written elsewhere
    // since then is written again.
    static const char kSetText[] = "orvaradioSetText";
    static const char kShownText[] = "orvaradioShownText";
    if (view->property(kSetText).toString() == text
        && view->property(kShownText).toString() == view->toPlainText())
        return;
    view->setText(text);
    view->setProperty(kSetText, text);
    view->setProperty(kShownText, view->toPlainText());
}

#endif
