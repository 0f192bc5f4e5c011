#pragma once

#include "framework/Colors.h"
#include "widgets/AbLED.h"

#include <QColor>
#include <QImage>
#include <QRect>

// What the lamp tests share: rendering a control into an image over a
// background that no lamp colour uses, and reading it back.
namespace lamptest {

inline const QRgb background = qRgb(255, 0, 255);

// Colours as an image holds them.
inline QRgb rgb(TColor color) { return fw::ColorToQColor(color).rgb(); }
inline QRgb face() { return rgb(clBtnFace); }
inline QRgb shadow() { return rgb(clBtnShadow); }
inline QRgb highlight() { return rgb(clBtnHighlight); }

// Paints the widget as a full repaint would, over `background`.
inline QImage render(QWidget& widget)
{
    QImage image(widget.size(), QImage::Format_RGB32);
    image.fill(background);
    widget.render(&image, QPoint(), QRegion(), QWidget::DrawChildren);
    return image;
}

// The smallest rectangle holding every pixel for which `keep` is true.
template <class Keep>
QRect extent(const QImage& image, QRect area, Keep keep)
{
    QRect found;
    for (int y = area.top(); y <= area.bottom(); ++y) {
        for (int x = area.left(); x <= area.right(); ++x) {
            if (keep(image.pixel(x, y))) found |= QRect(x, y, 1, 1);
        }
    }
    return found;
}

inline QRect drawnExtent(const QImage& image, QRect area)
{
    return extent(image, area, [](QRgb c) { return c != background; });
}

} // namespace lamptest
