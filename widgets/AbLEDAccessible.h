#pragma once

#include <QAccessibleWidget>

class TAbLED;

// What screen readers and desktop automation (AT-SPI) see of a lamp: an
// indicator named by its caption, or, for a lamp without one, by its accessible
// name (the window sets it to the caption of the lamp's row), and checked while
// the lamp is on.
class TAbLEDAccessible : public QAccessibleWidget {
public:
    explicit TAbLEDAccessible(TAbLED* lamp);

    QString text(QAccessible::Text t) const override;
    QAccessible::State state() const override;

    // Makes lamps accessible through this class; idempotent.
    static void install();
    // Tells assistive technology that the lamp went on or off.
    static void notifyChecked(TAbLED* lamp);

private:
    TAbLED* lamp() const;
};
