#ifndef STARTVALUES_H
#define STARTVALUES_H

#include <QVariant>

class QSettings;

// Numbers the window reads from the settings store at start, made safe for
// the air: a hand-edited or extreme value that would leave music silent or
// stall the fades is replaced, with one warning line naming key and value.
// The stored value stays as it is.
namespace StartValues {

// "volume/volumeToTalk": a level from 0 to 1; anything else gives 0.8.
float talkLevel(const QVariant &stored);

// "volume/speedFade" as the channels' step per fade tick (the speed ÷ 10).
// A speed that is not a positive number gives the default 2. A step too
// large to duck to `talkLevel` is lowered to the largest that does, but
// never below the default.
float fadeStep(const QVariant &stored, float talkLevel);

// The fastest whole-number fade speed that fadeStep() keeps as it is.
int fastestFadeSpeed(float talkLevel);

// The configuration dialog's four switches; a missing key reads as ticked,
// the value the defaults step stores.
struct Switches
{
    bool stopFade = true;     // Stop fades the air out
    bool talkFade = true;     // talk-over fades down and up
    bool sayClock = true;     // a click on the clock speaks the time
    bool sayClockFade = true; // and lowers the music meanwhile
};
Switches switches(const QSettings &settings);

// Cutting the silence at the items' ends: "audio/autoCue", on unless
// stored off, and the thresholds that find the sound. A threshold out of
// its range gives its default.
constexpr int kAutoCueSilenceDb = -50; // dBFS: quieter is silence
constexpr int kLowestAutoCueSilenceDb = -70;
constexpr int kHighestAutoCueSilenceDb = -30;
constexpr int kAutoCueFadeLu = 12; // a fade-out falls this far below the item's loudness
constexpr int kLeastAutoCueFadeLu = 6;
constexpr int kMostAutoCueFadeLu = 30;
struct AutoCue
{
    bool on = true;
    int silenceDb = kAutoCueSilenceDb;
    int fadeLu = kAutoCueFadeLu;
};
AutoCue autoCue(const QSettings &settings);

// Stores the default of every key not stored yet: the values a fresh desk
// starts with, the window's own where it has them.
void writeDefaults(QSettings &settings, float talkLevel, int handOverSeconds, float fadeStep);

} // namespace StartValues

// The settings file may hold a stream server's password: it is made readable
// by its owner alone (rewrites keep the file's permissions).
void keepSettingsPrivate(QSettings &settings);

#endif
