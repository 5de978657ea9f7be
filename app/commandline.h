#ifndef COMMANDLINE_H
#define COMMANDLINE_H

#include <QString>

#include <optional>

// What the desk answers before it builds anything: "--help" and "--version",
// which need no display, and a start that cannot show a window because no
// display is set. Returns the exit status when the program ends here.
std::optional<int> answerBeforeStart(int argc, char **argv);

// A text of the desk in the interface language stored in the settings, for
// the moments before the application exists.
QString startText(const char *source);

// While it lives, a display that the platform cannot open ends the program
// with one line and status 1, instead of the platform's abort; the platform's
// other messages are held and passed on once the application exists.
class DisplayCheck
{
public:
    DisplayCheck();
    ~DisplayCheck();
    DisplayCheck(const DisplayCheck &) = delete;
    DisplayCheck &operator=(const DisplayCheck &) = delete;
};

#endif
