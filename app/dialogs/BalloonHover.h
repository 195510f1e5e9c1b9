// SPDX-License-Identifier: MIT
#pragma once

namespace vigilon {

// A point on the screen, in the front end's pixels.
struct HintPoint {
    int x = -1;
    int y = -1;
    bool operator==(const HintPoint &) const = default;
};

// When the balloon hint shows and goes, for both front ends: it shows
// showDelay ms after the pointer came to rest over a registered target,
// with its tip where the pointer came to rest, and goes after displayTime
// ms, on a mouse button, or when the pointer moves over no target. The
// targets' own tool tips (a failed row's reason, a cut cell's text) and the
// balloon never show at once: a tip about to show takes the balloon down,
// and the balloon does not come up while a tip shows. The front end keeps
// the window, the targets and their texts, and the drawing.
class BalloonHover {
public:
    enum class Timer { Show = 100, Hide = 101 };
    // What is under the pointer.
    enum class Under { Nothing, Target, Balloon };

    class Balloon {
    public:
        // What is under the pointer at a point; for a target, the front end
        // makes the target's text the hint's.
        virtual Under lookAt(HintPoint at) = 0;
        // Starts (or starts again) one timer; timerFired() is its end.
        virtual void runTimer(Timer timer, int ms) = 0;
        virtual void cancelTimer(Timer timer) = 0;
        // Lays out the hint's text and shows the window with its tip on
        // anchor, or as near as the screen allows.
        virtual void showWindow(HintPoint anchor) = 0;
        virtual void hideWindow() = 0;
        // Whether one of the targets' own tool tips is showing now.
        virtual bool tipVisible() = 0;

    protected:
        ~Balloon() = default;
    };

    explicit BalloonHover(Balloon &balloon) : balloon_(balloon) {}

    // The pointer moved over a target (or a window inside it) to at.
    void pointerMoved(HintPoint at);
    // A mouse button went down over a target.
    void buttonPressed() { hide(); }
    // One of the targets' own tool tips is about to show.
    void tipShowing() { hide(); }
    // Shows the hint, whose text the front end has set, showDelay ms from now
    // at point.
    void showAt(HintPoint point);
    void hide();
    void timerFired(Timer timer);

    HintPoint anchor() const { return anchor_; }
    int showDelay() const { return showDelay_; }
    int displayTime() const { return displayTime_; }

private:
    Balloon &balloon_;
    HintPoint anchor_;
    int showDelay_ = 500;
    int displayTime_ = 4000;
};

} // namespace vigilon
