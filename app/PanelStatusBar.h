#pragma once

#include <QStatusBar>

class StatusSection;

// The window's status bar: permanent sections, left to right the alarm (shown
// only while there is one; a click on it acknowledges, a right-click asks for
// the list of alarms), the link (port, device, line settings, state: the state
// word is never cut), the recording and the link quality.
// Each is a fixed widget with a text and a tooltip for the whole story; nothing
// here shows transient messages. Every section is empty until someone fills it.
class PanelStatusBar : public QStatusBar {
    Q_OBJECT
public:
    explicit PanelStatusBar(QWidget* parent = nullptr);

    void setLink(const QString& text, const QString& toolTip = {});
    void setRecording(const QString& text, const QString& toolTip = {});
    void setLinkQuality(const QString& text, const QString& toolTip = {});
    // An empty text hides the alarm section. Lit, it shows white on red; the
    // blinking is the caller's, by lighting it and putting it out.
    void setAlarm(const QString& text, const QString& toolTip = {});
    void setAlarmLit(bool lit);

    QString link() const;
    QString linkToolTip() const;
    QString recording() const;
    QString linkQuality() const;
    QString alarm() const;
    bool alarmLit() const { return alarmLit_; }

signals:
    void alarmClicked();
    void alarmListRequested();

private:
    bool eventFilter(QObject* watched, QEvent* event) override;

    StatusSection* alarm_;
    bool alarmLit_ = false;
    StatusSection* link_;
    StatusSection* recording_;
    StatusSection* linkQuality_;
};
