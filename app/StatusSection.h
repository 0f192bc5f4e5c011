#pragma once

#include <QLabel>

// One section of the status bar: a plain-text label, one line. A text wider than
// the section is drawn cut with "…", and the whole of it stays in reach: the
// tooltip then leads with it, ahead of any tooltip of the caller's own that
// does not already hold it.
class StatusSection : public QLabel {
public:
    explicit StatusSection(QWidget* parent = nullptr);

    // The text, and the tooltip for the whole story (none: the text itself).
    // The `keptLength` characters from `keptFrom` are never cut: the details on
    // either side of them are, each with its own "…".
    void setTextAndToolTip(const QString& text, const QString& toolTip, qsizetype keptFrom = 0, qsizetype keptLength = 0);

    // The text as drawn at the present width.
    QString shownText() const;
    // What pausing the pointer over the section shows.
    QString shownToolTip() const;

protected:
    bool event(QEvent* event) override;
    void paintEvent(QPaintEvent* event) override;

private:
    QString toolTip_;
    qsizetype keptFrom_ = 0;
    qsizetype keptLength_ = 0;
};
