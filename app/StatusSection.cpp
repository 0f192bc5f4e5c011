#include "app/StatusSection.h"

#include "framework/PlainToolTip.h"

#include <QHelpEvent>
#include <QPainter>
#include <QStyle>
#include <QToolTip>

#include <algorithm>

using fw::plainToolTip;

StatusSection::StatusSection(QWidget* parent)
    : QLabel(parent)
{
    // The sections quote a server's text, a device's diagnosis and file names:
    // words from outside, which are never markup and must show as typed.
    setTextFormat(Qt::PlainText);
}

void StatusSection::setTextAndToolTip(const QString& text, const QString& toolTip, qsizetype keptFrom,
                                      qsizetype keptLength)
{
    toolTip_ = toolTip;
    keptFrom_ = keptFrom;
    keptLength_ = keptLength;
    setText(text);
    setToolTip(plainToolTip(toolTip.isEmpty() ? text : toolTip));
}

QString StatusSection::shownText() const
{
    const int room = contentsRect().width() - 2 * margin();
    const QFontMetrics metrics = fontMetrics();
    if (keptLength_ == 0 || metrics.horizontalAdvance(text()) <= room)
        return metrics.elidedText(text(), Qt::ElideRight, room);
    const QString head = text().left(keptFrom_);
    const QString kept = text().mid(keptFrom_, keptLength_);
    const QString tail = text().mid(keptFrom_ + keptLength_);
    const int left = room - metrics.horizontalAdvance(kept);
    // The head names the port and goes first; the tail's details have at least
    // half of what the kept words leave, so that neither vanishes.
    const int headRoom = std::max(left - metrics.horizontalAdvance(tail), left / 2);
    const QString shownHead = metrics.elidedText(head, Qt::ElideRight, std::max(headRoom, 0));
    const int tailRoom = left - metrics.horizontalAdvance(shownHead);
    return shownHead + kept + metrics.elidedText(tail, Qt::ElideRight, std::max(tailRoom, 0));
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
