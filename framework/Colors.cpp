#include "Colors.h"

#include <QApplication>
#include <QPalette>

namespace fw {

namespace {

QPalette::ColorRole systemRole(unsigned index)
{
    switch (index) {
    case 5: return QPalette::Base;             // window background
    case 7: return QPalette::WindowText;       // menu text
    case 8: return QPalette::Text;             // window text
    case 13: return QPalette::Highlight;
    case 14: return QPalette::HighlightedText;
    case 15: return QPalette::Button;          // button face
    case 16: return QPalette::Dark;            // button shadow
    case 18: return QPalette::ButtonText;
    case 20: return QPalette::Light;           // button highlight
    case 21: return QPalette::Shadow;          // 3-D dark shadow
    case 22: return QPalette::Midlight;        // 3-D light
    case 23: return QPalette::ToolTipText;
    case 24: return QPalette::ToolTipBase;
    default: return QPalette::Window;
    }
}

} // namespace

QColor ColorToQColor(TColor color)
{
    if (color & 0x80000000u) {
        const QPalette palette = qApp ? QApplication::palette() : QPalette();
        return palette.color(QPalette::Active, systemRole(color & 0xFFu));
    }
    return QColor(static_cast<int>(color & 0xFF), static_cast<int>((color >> 8) & 0xFF),
                  static_cast<int>((color >> 16) & 0xFF));
}

} // namespace fw
