// SPDX-License-Identifier: MIT
#include "app/dialogs/BalloonHover.h"

namespace vigilon {

void BalloonHover::pointerMoved(HintPoint at)
{
    // A pointer at rest reports moves too.
    if (at == anchor_)
        return;
    switch (balloon_.lookAt(at)) {
    case Under::Target:
        showAt(at);
        return;
    case Under::Nothing:
        hide();
        return;
    case Under::Balloon:
        // Over the balloon itself the target would not hear of the pointer.
        return;
    }
}

void BalloonHover::showAt(HintPoint point)
{
    anchor_ = point;
    balloon_.runTimer(Timer::Show, showDelay_);
}

void BalloonHover::hide()
{
    balloon_.hideWindow();
    balloon_.cancelTimer(Timer::Show);
    balloon_.cancelTimer(Timer::Hide);
}

void BalloonHover::timerFired(Timer timer)
{
    if (timer == Timer::Hide) {
        hide();
        return;
    }
    balloon_.cancelTimer(Timer::Show);
    // Held back until the pointer moves on.
    if (balloon_.tipVisible())
        return;
    balloon_.showWindow(anchor_);
    balloon_.runTimer(Timer::Hide, displayTime_);
}

} // namespace vigilon
