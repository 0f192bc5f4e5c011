#include "_AbProc.h"

namespace AbProc {

void DrawLEDShape(fw::TCanvas& canvas, const fw::TRect& bounds, TLEDShape shape, TColor fill, TColor outline)
{
    const int L = bounds.Left;
    const int T = bounds.Top;
    const int R = bounds.Right;
    const int B = bounds.Bottom;
    const int hw = (R - L) / 2;
    const int hh = (B - T) / 2;
    canvas.setPenColor(outline);
    canvas.setPenWidth(1);
    canvas.setBrushColor(fill);
    switch (shape) {
    case sRound: {
        canvas.Ellipse(L, T, R, B);
        const int inset = (R - L) / 5;
        canvas.setPenColor(clBtnHighlight);
        canvas.setPenWidth((R - L) / 8);
        canvas.Arc(L + inset, T + inset, R - inset, B - inset, L + hw, T, L, T + hh);
        break;
    }
    case sRectangle:
        canvas.RoundRect(L, T, R, B, 1, 1);
        break;
    // The arrows end on the last pixel inside the box.
    case sArrowLeft:
        canvas.Polygon({{L, T + hh}, {R - 1, T}, {R - 1, B - 1}});
        break;
    case sArrowRight:
        canvas.Polygon({{L, T}, {R - 1, T + hh}, {L, B - 1}});
        break;
    case sArrowUp:
        canvas.Polygon({{L + hw, T}, {R - 1, B - 1}, {L, B - 1}});
        break;
    case sArrowDown:
        canvas.Polygon({{L, T}, {R - 1, T}, {L + hw, B - 1}});
        break;
    case sDiamondLeft:
        canvas.Polygon({{L, T}, {L + hw, T}, {R, B}, {L + hw, B}});
        break;
    case sDiamondRight:
        canvas.Polygon({{L + hw, T}, {R, T}, {L + hw, B}, {L, B}});
        break;
    }
}

void TextOutAligned(fw::TCanvas& canvas, int x, int y, const QString& text, int alignment)
{
    const int w = canvas.TextWidth(text);
    const int h = canvas.TextHeight(text);
    const int dx[] = {0, w / 2, w};
    const int dy[] = {0, h / 2, h};
    canvas.TextOut(x - dx[alignment % 3], y - dy[alignment / 3], text);
}

void DrawCaptionLines(fw::TCanvas& canvas, int x, int y, const QString& text, int alignment, int lineSpacing)
{
    const int lines = static_cast<int>(text.count(u'|')) + 1;
    const int pitch = canvas.TextHeight(QStringLiteral("X")) + lineSpacing;
    switch (alignment / 3) {
    case 1: y -= ((lines - 1) * pitch) / 2; break;
    case 2: y -= (lines - 1) * pitch; break;
    default: break;
    }
    // A trailing "|" counts as a line for the placement but draws nothing.
    QStringView rest(text);
    while (!rest.isEmpty()) {
        const qsizetype bar = rest.indexOf(u'|');
        const QStringView line = bar < 0 ? rest : rest.left(bar);
        TextOutAligned(canvas, x, y, line.toString(), alignment);
        y += pitch;
        rest = bar < 0 ? QStringView() : rest.mid(bar + 1);
    }
}

} // namespace AbProc
