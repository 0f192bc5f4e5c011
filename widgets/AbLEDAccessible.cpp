#include "AbLEDAccessible.h"

#include "AbLED.h"

#include <QAccessible>

namespace {

QAccessibleInterface* lampFactory(const QString& className, QObject* object)
{
    if (className == QLatin1String("TAbLED") && object && object->isWidgetType())
        return new TAbLEDAccessible(static_cast<TAbLED*>(object));
    return nullptr;
}

} // namespace

TAbLEDAccessible::TAbLEDAccessible(TAbLED* lamp)
    : QAccessibleWidget(lamp, QAccessible::Indicator)
{
}

TAbLED* TAbLEDAccessible::lamp() const
{
    return static_cast<TAbLED*>(widget());
}

QString TAbLEDAccessible::text(QAccessible::Text t) const
{
    if (t == QAccessible::Name) {
        if (!lamp()->Caption().isEmpty()) return lamp()->Caption();
        return lamp()->accessibleName();
    }
    return QAccessibleWidget::text(t);
}

QAccessible::State TAbLEDAccessible::state() const
{
    QAccessible::State state = QAccessibleWidget::state();
    state.checkable = true;
    state.checked = lamp()->Checked();
    return state;
}

void TAbLEDAccessible::install()
{
    static const bool installed = [] {
        QAccessible::installFactory(lampFactory);
        return true;
    }();
    Q_UNUSED(installed);
}

void TAbLEDAccessible::notifyChecked(TAbLED* lamp)
{
    if (!QAccessible::isActive()) return;
    QAccessible::State changed;
    changed.checked = true;
    QAccessibleStateChangeEvent event(lamp, changed);
    QAccessible::updateAccessibility(&event);
}
