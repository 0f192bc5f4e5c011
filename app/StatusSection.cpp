#include "app/StatusSection.h"

#include "framework/PlainToolTip.h"

#include <QHelpEvent>
#include <QPainter>
#include <QStyle>
#include <QToolTip>

using fw::plainToolTip;

StatusSection::StatusSection(QWidget* parent)
    : QLabel(parent)
{
    // The sections quote a server's text, a device's diagnosis and file names:
    // words from outside, which are never markup and must show as typed.
    setTextFormat(Qt::PlainText);
}

void StatusSection::setTextAndToolTip(const QString& text, const QString& toolTip)
{
    toolTip_ = toolTip;
    setText(text);
    setToolTip(plainToolTip(toolTip.isEmpty() ? text : toolTip));
}

QString StatusSection::shownText() const
{
    const int room = contentsRect().width() - 2 * margin();
    return fontMetrics().elidedText(text(), Qt::ElideRight, room);
}

QString StatusSection::shownToolTip() const
{
    if (toolTip_.isEmpty() || toolTip_.contains(text()) || shownText() == text()) return toolTip();
    return plainToolTip(text() + QLatin1Char('\n') + toolTip_);
}

bool StatusSection::event(QEvent* event)
{
    if (event->type() != QEvent::ToolTip) return QLabel::event(event);
    if (const QString tip = shownToolTip(); !tip.isEmpty())
        QToolTip::showText(static_cast<QHelpEvent*>(event)->globalPos(), tip, this);
    else
        event->ignore();
    return true;
}

void StatusSection::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    drawFrame(&painter);
    const QRect area = contentsRect().adjusted(margin(), margin(), -margin(), -margin());
    style()->drawItemText(&painter, area, QStyle::visualAlignment(layoutDirection(), alignment()), palette(),
                          isEnabled(), shownText(), foregroundRole());
}
