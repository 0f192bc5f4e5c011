#include "app/PanelStatusBar.h"

#include "app/StatusSection.h"

#include <QMouseEvent>

#include <utility>

namespace {

// The words the link's state begins with, after the details of the port.
const QString StateWords[] = {QStringLiteral("connected"), QStringLiteral("disconnected"), QStringLiteral("lost"),
                              QStringLiteral("restored"), QStringLiteral("open")};
const QString Separator = QStringLiteral(" \u00b7 ");

// Where in a link's text its state word stands, with the separator before it.
std::pair<qsizetype, qsizetype> stateWordIn(const QString& text)
{
    for (qsizetype at = text.indexOf(Separator); at >= 0; at = text.indexOf(Separator, at + 1)) {
        const qsizetype word = at + Separator.size();
        for (const QString& state : StateWords) {
            const qsizetype end = word + state.size();
            if (text.mid(word, state.size()) == state && (end == text.size() || !text[end].isLetter()))
                return {at, end - at};
        }
    }
    return {0, 0};
}

StatusSection* section(PanelStatusBar* bar, const char* name, int stretch)
{
    auto* label = new StatusSection(bar);
    label->setObjectName(QString::fromLatin1(name));
    // A long diagnosis is cut at the bar's edge with "…"; the tooltip has all of it.
    label->setMinimumWidth(0);
    label->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
    bar->addPermanentWidget(label, stretch);
    return label;
}

} // namespace

PanelStatusBar::PanelStatusBar(QWidget* parent)
    : QStatusBar(parent)
    , alarm_(section(this, "alarmSection", 0))
    , link_(section(this, "linkSection", 3))
    , recording_(section(this, "recordingSection", 1))
    , linkQuality_(section(this, "linkQualitySection", 0))
{
    // The link quality is short and changes every second: it keeps the room of
    // its usual text, so that it is read whole and the other sections do not
    // move as it changes. The link and the recording share what is left.
    const QString usual = QStringLiteral("14/14 answered \u00b7 last reply 59 s ago");
    linkQuality_->setFixedWidth(linkQuality_->fontMetrics().horizontalAdvance(usual));
    // Fixed, not the other sections' Ignored: the bar's layout would otherwise
    // still share out the room as if this section needed none.
    linkQuality_->setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Preferred);

    // The link's state is never cut: its section keeps room for the longest
    // state word and a cut detail beside it.
    link_->setMinimumWidth(link_->fontMetrics().horizontalAdvance(QStringLiteral("COM\u2026") + Separator
                                                                    + QStringLiteral("disconnected")));

    // The alarm takes the room its words need, first in the row, but gives way
    // to the link's state: cut, it is whole in its tooltip.
    alarm_->setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Preferred);
    alarm_->setMinimumWidth(0);
    alarm_->setAutoFillBackground(true);
    alarm_->setCursor(Qt::PointingHandCursor);
    alarm_->installEventFilter(this);
    alarm_->hide();
}

void PanelStatusBar::setAlarm(const QString& text, const QString& toolTip)
{
    alarm_->setTextAndToolTip(text, toolTip);
    alarm_->setVisible(!text.isEmpty());
}

void PanelStatusBar::setAlarmLit(bool lit)
{
    if (lit == alarmLit_) return;
    alarmLit_ = lit;
    QPalette palette = this->palette();
    if (lit) {
        palette.setColor(QPalette::Window, Qt::red);
        palette.setColor(QPalette::WindowText, Qt::white);
    }
    alarm_->setPalette(palette);
}

QString PanelStatusBar::alarm() const
{
    return alarm_->isHidden() ? QString() : alarm_->text();
}

bool PanelStatusBar::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == alarm_ && event->type() == QEvent::MouseButtonRelease
        && static_cast<QMouseEvent*>(event)->button() == Qt::LeftButton)
        emit alarmClicked();
    if (watched == alarm_ && event->type() == QEvent::ContextMenu) {
        emit alarmListRequested();
        return true;
    }
    return QStatusBar::eventFilter(watched, event);
}

void PanelStatusBar::setLink(const QString& text, const QString& toolTip)
{
    const auto [from, length] = stateWordIn(text);
    link_->setTextAndToolTip(text, toolTip, from, length);
}

void PanelStatusBar::setRecording(const QString& text, const QString& toolTip)
{
    recording_->setTextAndToolTip(text, toolTip);
}

void PanelStatusBar::setLinkQuality(const QString& text, const QString& toolTip)
{
    linkQuality_->setTextAndToolTip(text, toolTip);
}

QString PanelStatusBar::link() const
{
    return link_->text();
}

QString PanelStatusBar::linkToolTip() const
{
    return link_->toolTip();
}

QString PanelStatusBar::recording() const
{
    return recording_->text();
}

QString PanelStatusBar::linkQuality() const
{
    return linkQuality_->text();
}
