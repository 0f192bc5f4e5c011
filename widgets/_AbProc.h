#pragma once

#include "framework/Canvas.h"

#include <QObject>
#include <QString>

// Shape and caption drawing shared by the lamps.
namespace AbProc {
Q_NAMESPACE

// Where the lamp sits in its control; the caption takes the other side.
enum TLEDPos : quint8 { lpLeft, lpRight, lpTop, lpBottom };
Q_ENUM_NS(TLEDPos)

enum TLEDShape : quint8 { sRound, sArrowLeft, sArrowRight, sArrowUp, sArrowDown, sRectangle, sDiamondLeft, sDiamondRight };
Q_ENUM_NS(TLEDShape)

// Text alignment codes: 3 x vertical + horizontal, with horizontal 0 left,
// 1 centre, 2 right and vertical 0 top, 1 middle, 2 bottom.
constexpr int alignCentreTop = 1;
constexpr int alignLeftMiddle = 3;
constexpr int alignRightMiddle = 5;
constexpr int alignCentreBottom = 7;

// Draws `shape` in `bounds`, filled with `fill` and outlined one pixel wide with
// `outline`. A round lamp also gets a highlight on the upper left of its face.
void DrawLEDShape(fw::TCanvas& canvas, const fw::TRect& bounds, TLEDShape shape, TColor fill, TColor outline);

// Draws `text`, split into lines at "|", one text height plus `lineSpacing`
// apart, placed as a block on (x, y) by `alignment`; every line is aligned the
// same way.
void DrawCaptionLines(fw::TCanvas& canvas, int x, int y, const QString& text, int alignment, int lineSpacing);

// Draws one line so that the point of it that `alignment` names lies on (x, y).
void TextOutAligned(fw::TCanvas& canvas, int x, int y, const QString& text, int alignment);

} // namespace AbProc

using AbProc::TLEDPos;
using AbProc::TLEDShape;
