#ifndef BROWSERS_H
#define BROWSERS_H

#include <QFileIconProvider>
#include "playlist.h"

#include <QFileSystemModel>

#include <optional>

class QTreeView;

// Folders and audio files get the desk's own icons in the music and jingle
// browsers; everything else keeps the platform's file-type icon.
class CustomIconProvider : public QFileIconProvider
{
public:
    using QFileIconProvider::icon;
    QIcon icon(const QFileInfo &info) const override;
};

// The file model shared by both browsers. QFileSystemModel keeps its own
// column titles; this one lets the desk label the name column in its language.
// Every folder lists its subfolders first, then names in natural order,
// ignoring case.
class BrowserModel : public QFileSystemModel
{
    Q_OBJECT

public:
    explicit BrowserModel(QObject *parent = nullptr);

    bool setHeaderData(int section, Qt::Orientation orientation, const QVariant &value,
                       int role = Qt::EditRole) override;
    QVariant headerData(int section, Qt::Orientation orientation,
                        int role = Qt::DisplayRole) const override;

    // The entry a row adds to the running order, with its tags' title and
    // length; a folder is a `folderKind` entry when one is given.
    Playlist entryAt(const QModelIndex &index, const QString &kind, const QString &folderKind = QString(),
                     const QString &emptyDuration = QString()) const;
    // What the add button adds from the two browsers' selections: a jingle
    // selection wins; nothing when neither names a row.
    std::optional<Playlist> chosenEntry(const QModelIndex &music, const QModelIndex &jingle) const;
    // The `kind` entry a double click on a file adds; nothing for a folder.
    std::optional<Playlist> fileEntry(const QModelIndex &index, const QString &kind) const;
    // Shows this model in a browser, from `folder` down.
    void showIn(QTreeView *view, const QString &folder);

private:
    QString nameTitle;
};

#endif
