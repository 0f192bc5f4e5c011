#pragma once

#include <QStatusBar>

class StatusSection;

// The window's status bar: three permanent sections, left to right the link
// (port, device, line settings, state), the recording and the link quality.
// Each is a fixed widget with a text and a tooltip for the whole story; nothing
// here shows transient messages. Every section is empty until someone fills it.
class PanelStatusBar : public QStatusBar {
    Q_OBJECT
public:
    explicit PanelStatusBar(QWidget* parent = nullptr);

    void setLink(const QString& text, const QString& toolTip = {});
    void setRecording(const QString& text, const QString& toolTip = {});
    void setLinkQuality(const QString& text, const QString& toolTip = {});

    QString link() const;
    QString linkToolTip() const;
    QString recording() const;
    QString linkQuality() const;

private:
    StatusSection* link_;
    StatusSection* recording_;
    StatusSection* linkQuality_;
};
