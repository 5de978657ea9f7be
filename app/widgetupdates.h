#ifndef WIDGETUPDATES_H
#define WIDGETUPDATES_H

#include <QTextEdit>
#include <QFont>
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

// A narrower face of the same family, for texts wider than their fixed boxes.
inline void condense(QWidget *widget)
{
    QFont font = widget->font();
    font.setStretch(QFont::SemiCondensed);
    widget->setFont(font);
}

// A one-line text view: no margin, no wrapping and no scroll bars.
inline void keepOnOneLine(QTextEdit *view)
{
    view->document()->setDocumentMargin(0);
    view->setLineWrapMode(QTextEdit::NoWrap);
    view->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    view->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
}

// Moves `widget` so that it sits in the middle of `area`.
inline void centreIn(QWidget *widget, const QRect &area, const QSize &size)
{
    widget->move((area.left() + area.right()) / 2 - size.width() / 2,
                 (area.top() + area.bottom()) / 2 - size.height() / 2);
}

#endif
