// SPDX-License-Identifier: MIT
#pragma once

#include <QFont>
#include <QRect>
#include <QString>

class QLabel;

namespace vigilon {

// The face the dialog templates name, and the installed faces that stand in
// for it (and for the caption face) where the originals are missing.
QString dialogFontFace();
// Registers the font substitutions and the dialogs' resources; safe to call
// any number of times.
void initUi();

// The dialog templates' font: 9 points of dialogFontFace().
QFont dialogFont();

// A stand-in face can be a little wider than the one the templates were
// made for: a static whose text would be cut grows instead, away from its
// aligned edge (a right-aligned static grows to the left).
void growToFit(QLabel *label);

// Converts dialog-template units into pixels for one font, the way the
// system maps a dialog rectangle: a horizontal unit is a quarter of the
// font's average character width, a vertical unit an eighth of its height.
// The average width is that of the 52 Latin letters, rounded.
class DialogUnits {
public:
    explicit DialogUnits(const QFont &font);
    DialogUnits(int baseWidth, int baseHeight)
        : baseX_(baseWidth)
        , baseY_(baseHeight)
    {
    }

    int baseX() const { return baseX_; }
    int baseY() const { return baseY_; }
    int x(int du) const { return mulDiv(du, baseX_, 4); }
    int y(int du) const { return mulDiv(du, baseY_, 8); }
    QRect rect(int x0, int y0, int w, int h) const
    {
        // Left/top and right/bottom are mapped separately, as the system does.
        const int left = x(x0), top = y(y0);
        return QRect(left, top, x(x0 + w) - left, y(y0 + h) - top);
    }
    QSize size(int w, int h) const { return QSize(x(w), y(h)); }

private:
    // a * b / c rounded half away from zero.
    static int mulDiv(int a, int b, int c);
    int baseX_;
    int baseY_;
};

} // namespace vigilon
