#include "onairfeed.h"
#include "buttonhole.h"
#include "onairitem.h"

namespace {

OnAirEvents::Outcome cartOutcome(ButtonHole::Ending ending)
{
    switch (ending) {
    case ButtonHole::Ending::Ended:
        return OnAirEvents::Outcome::Ended;
    case ButtonHole::Ending::Stopped:
        return OnAirEvents::Outcome::Stopped;
    case ButtonHole::Ending::Failed:
        break;
    }
    return OnAirEvents::Outcome::Error;
}

} // namespace

void feedCartEvents(OnAirEvents *log, const QVector<ButtonHole *> &carts)
{
    // A cart's row opens when its play is heard: a play cut short before a
    // sound has none, a failed one gets an "error" row all the same.
    for (ButtonHole *cart : carts) {
        QObject::connect(cart, &ButtonHole::sounding, log, [log, cart](const QString &file) {
            log->begin(cart, onAirItem(QStringLiteral("cart"), QString(), file));
            log->sounding(cart);
        });
        QObject::connect(cart, &ButtonHole::left, log,
                         [log, cart](const QString &file, ButtonHole::Ending ending) {
                             if (ending == ButtonHole::Ending::Failed && !log->isOpen(cart))
                                 log->begin(cart, onAirItem(QStringLiteral("cart"), QString(), file));
                             log->leaving(cart, cartOutcome(ending));
                             log->finish(cart);
                         });
    }
}
