#include "app/PanelStatusBar.h"

#include <QEvent>
#include <QLabel>
#include <QTextDocument>

namespace {

QLabel* section(PanelStatusBar* bar, const char* name, int stretch)
{
    auto* label = new QLabel(bar);
    label->setObjectName(QString::fromLatin1(name));
    // The sections quote a server's text, a device's diagnosis and file names:
    // words from outside, which are never markup and must show as typed.
    label->setTextFormat(Qt::PlainText);
    // A long diagnosis is cut at the bar's edge; the tooltip has all of it.
    label->setMinimumWidth(0);
    label->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
    bar->addPermanentWidget(label, stretch);
    return label;
}

// A tooltip has no text format of its own: Qt takes anything that looks like
// markup for markup. Such a text goes as markup that shows its characters; any
// other stays as it is, so its lines still break where they did.
QString plainToolTip(const QString& text)
{
    return Qt::mightBeRichText(text) ? Qt::convertFromPlainText(text, Qt::WhiteSpacePre) : text;
}

void fill(QLabel* label, const QString& text, const QString& toolTip)
{
    label->setText(text);
    label->setToolTip(plainToolTip(toolTip.isEmpty() ? text : toolTip));
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

    // The alarm is read whole: it takes the room its words need, first in the row.
    alarm_->setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Preferred);
    alarm_->setAutoFillBackground(true);
    alarm_->setCursor(Qt::PointingHandCursor);
    alarm_->installEventFilter(this);
    alarm_->hide();
}

void PanelStatusBar::setAlarm(const QString& text, const QString& toolTip)
{
    fill(alarm_, text, toolTip);
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
    if (watched == alarm_ && event->type() == QEvent::MouseButtonRelease) emit alarmClicked();
    return QStatusBar::eventFilter(watched, event);
}

void PanelStatusBar::setLink(const QString& text, const QString& toolTip)
{
    fill(link_, text, toolTip);
}

void PanelStatusBar::setRecording(const QString& text, const QString& toolTip)
{
    fill(recording_, text, toolTip);
}

void PanelStatusBar::setLinkQuality(const QString& text, const QString& toolTip)
{
    fill(linkQuality_, text, toolTip);
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
