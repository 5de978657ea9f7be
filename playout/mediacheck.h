#ifndef MEDIACHECK_H
#define MEDIACHECK_H

#include <QByteArray>
#include <QHash>
#include <QString>

#include "deskfiles.h"

// What the desk knows about whether files play, found out before their turn:
// the quick look at a file (there, readable, not empty, not text) and the
// verdict of one decode of the whole file. A verdict holds while the file's
// size and modification time stay as they were, so a file replaced or put
// back is looked at again, and an unchanged one never twice.
class MediaCheck
{
public:
    enum class Problem {
        None,
        Unreadable,
        Empty,
        NotAudio,
        NoAudioData,
        DecodeErrors,
        Short,
        EmptyFolder,
    };

    struct Verdict
    {
        bool known = false;
        Problem problem = Problem::None;
        // For a file that decodes short: "12.0 of 60.0 s"; else the decoder's
        // first error line, or nothing.
        QString detail;
        bool bad() const { return known && problem != Problem::None; }
    };

    // The quick look. Handing a file that fails it to the media framework
    // costs up to a second of stalled event loop before it fails.
    static Problem quickProblem(const QString &path);
    // The reason in the log's words.
    static QString logText(Problem problem);

    // What a decode of the whole file says: whether the decoder ran to its
    // end with status 0, its error output, and the seconds it decoded against
    // the seconds the file states (negative: unknown).
    static Verdict decodeVerdict(bool ran, const QByteArray &errors, double decodedSeconds,
                                 double statedSeconds);

    Verdict verdict(const QString &path) const;
    void record(const QString &path, const Verdict &verdict);
    // The quick look, recorded when it finds a fault; true when it did.
    bool recordQuickLook(const QString &path);

private:
    struct Known
    {
        FileStamp stamp;
        Verdict verdict;
    };
    QHash<QString, Known> known;
};

#endif
