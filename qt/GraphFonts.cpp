// SPDX-License-Identifier: MIT
#include "qt/GraphFonts.h"

#include "graph/ResponseGraphSession.h"
#include "qt/DialogUnits.h"

#include <QApplication>
#include <QFontMetrics>
#include <QStringList>

#include <cmath>

namespace vigilon {

void installFontSubstitutes()
{
    static bool done = false;
    if (done)
        return;
    done = true;
    QFont::insertSubstitutions(QStringLiteral("ＭＳ Ｐゴシック"),
                               {QStringLiteral("IPAPGothic"), QStringLiteral("IPA Pゴシック"),
                                QStringLiteral("Noto Sans CJK JP"), QStringLiteral("VL PGothic")});
    QFont::insertSubstitutions(QStringLiteral("ＭＳ ゴシック"),
                               {QStringLiteral("IPAGothic"), QStringLiteral("IPAゴシック"),
                                QStringLiteral("Noto Sans Mono CJK JP")});
    initUi(); // the English faces
}

QFont graphWindowFont(const std::string &face)
{
    installFontSubstitutes();
    QFont font = QApplication::font();
    int pixels = font.pixelSize();
    if (pixels <= 0) {
        const QFontMetrics metrics(font);
        pixels = metrics.height();
    }
    font.setFamily(fromUtf8(face));
    font.setPixelSize(graphFontPixels(pixels));
    font.setItalic(false);
    font.setStretch(QFont::AnyStretch);
    // Drawn with the desktop's own text smoothing: without it small kanji
    // lose strokes.
    return font;
}

QString displayText(const std::string &s)
{
    QString text = fromUtf8(s);
    text.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    return text;
}

} // namespace vigilon
