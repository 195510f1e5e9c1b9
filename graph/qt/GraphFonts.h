// SPDX-License-Identifier: MIT
#pragma once

#include <QFont>
#include <QRect>
#include <QString>

#include <string>

namespace vigilon {

// Maps the Windows face names of the program's texts to the Japanese faces
// installed here; safe to call more than once.
void installFontSubstitutes();

// The graph window's font: the application's font, 4 pixels smaller, with
// the given face, not italic.
QFont graphWindowFont(const std::string &face);

// Dialog units of a dialog font, as dialog templates measure them: x units
// are a quarter of the average character width, y units an eighth of the
// character height.
class DialogUnitMapper {
public:
    explicit DialogUnitMapper(const QFont &font);
    int x(int du) const { return du * avgCharWidth_ / 4; }
    int y(int du) const { return du * charHeight_ / 8; }
    QRect rect(int x0, int y0, int w, int h) const { return QRect(x(x0), y(y0), x(w), y(h)); }
    int avgCharWidth() const { return avgCharWidth_; }
    int charHeight() const { return charHeight_; }

private:
    int avgCharWidth_ = 1;
    int charHeight_ = 1;
};

// The dialogs' template font, "ＭＳ Ｐゴシック" 9 points.
QFont dialogTemplateFont();

inline QString fromUtf8(const std::string &s)
{
    return QString::fromStdString(s);
}

// Program texts break lines with "\r\n"; Qt wants "\n".
QString displayText(const std::string &s);

} // namespace vigilon
