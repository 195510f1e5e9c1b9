// SPDX-License-Identifier: MIT
#include "qt/DialogUnits.h"
#include "qt/UiText.h"

#include <QFontMetrics>
#include <QLabel>
#include <QStringList>

#include <cstdlib>

static void initUiResources()
{
    Q_INIT_RESOURCE(ui);
}

namespace vigilon {

QString dialogFontFace()
{
    return uiText(sid::DialogFontFace);
}

void initUi()
{
    static bool done = false;
    if (done)
        return;
    done = true;
    initUiResources();
    // Metric-compatible stand-ins for the faces the dialogs ask for.
    // The Japanese face needs a Japanese font; the English one any sans face.
    QFont::insertSubstitutions(QString::fromStdString(loadString(sid::DialogFontFace, Language::Japanese)),
                               {QStringLiteral("IPAPGothic"), QStringLiteral("IPA Pゴシック"), QStringLiteral("VL PGothic"),
                                QStringLiteral("Noto Sans CJK JP")});
    for (unsigned face : {sid::DialogFontFace, sid::UiFontFace})
        QFont::insertSubstitutions(QString::fromStdString(loadString(face, Language::English)),
                                   {QStringLiteral("DejaVu Sans"), QStringLiteral("Liberation Sans"),
                                    QStringLiteral("Noto Sans")});
    QFont::insertSubstitutions(QStringLiteral("Verdana"),
                               {QStringLiteral("DejaVu Sans"), QStringLiteral("Bitstream Vera Sans")});
}

QFont dialogFont()
{
    initUi();
    QFont font(dialogFontFace());
    font.setPointSize(9);
    font.setStyleStrategy(QFont::PreferAntialias);
    return font;
}

void growToFit(QLabel *label)
{
    QString text = label->text();
    text.replace(QStringLiteral("&&"), QStringLiteral("\x01"));
    if (label->buddy())
        text.remove(QLatin1Char('&'));
    text.replace(QStringLiteral("\x01"), QStringLiteral("&"));
    // An empty last line shows nothing.
    while (text.endsWith(QLatin1Char('\n')))
        text.chop(1);
    const QRect need = label->fontMetrics().boundingRect(QRect(), Qt::AlignLeft | Qt::AlignTop, text);
    const QRect have = label->contentsRect();
    const int extraWidth = need.width() - have.width();
    const int extraHeight = need.height() - have.height();
    QRect g = label->geometry();
    if (extraWidth > 0) {
        if (label->alignment() & Qt::AlignRight)
            g.setLeft(g.left() - extraWidth);
        else
            g.setWidth(g.width() + extraWidth);
    }
    if (extraHeight > 0)
        g.setHeight(g.height() + extraHeight);
    label->setGeometry(g);
}

DialogUnits::DialogUnits(const QFont &font)
{
    const QFontMetrics metrics(font);
    const int width = metrics.horizontalAdvance(QStringLiteral("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz"));
    baseX_ = (width / 26 + 1) / 2;
    baseY_ = metrics.height();
}

int DialogUnits::mulDiv(int a, int b, int c)
{
    const long long product = static_cast<long long>(a) * b;
    const long long half = c / 2;
    const long long q = product >= 0 ? (product + half) / c : -((-product + half) / c);
    return static_cast<int>(q);
}

} // namespace vigilon
