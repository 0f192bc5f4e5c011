#pragma once

#include <QWidget>

class QAbstractItemModel;
class QComboBox;
class QTableView;
class QPushButton;

namespace session {
class MonitorLines;
class TrafficModel;
} // namespace session

// View → "Traffic Monitor": every frame in both directions, automatic queries
// included, with its time, direction, bytes and meaning, and the noise that
// fell between frames. The operator can pause the view (the record goes on),
// clear it, filter it by direction or letter, copy selected lines and save the
// lines shown as text.
//
// A window of its own over the session's TrafficModel, which keeps taking lines
// whether the window is open or not. Over a recording's lines (a review) the
// same window reads the rows from the file: there is nothing to pause or
// clear, and new rows do not scroll the view, which stays where it was put.
class TrafficMonitor : public QWidget {
    Q_OBJECT
public:
    explicit TrafficMonitor(session::MonitorLines& model, QWidget* parent = nullptr);

    // The selected lines, one a line, as shown.
    QString selectedText() const;
    // Writes every line shown to `path` as text; false after a box saying why.
    bool saveShownLines(const QString& path);
    // Places `bar` above the lines (a review's time and session controls).
    void addBar(QWidget* bar);
    // Scrolls `row` to the top of the view and selects it.
    void showRow(int row);

protected:
    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;

private:
    void applyFilter();
    void copySelection();
    void saveAs();
    void followNewLines();
    void setModelOfView(QAbstractItemModel* model);

    session::MonitorLines& model_;
    session::TrafficModel* live_; // the same model when live, or null
    QTableView* list_;
    QPushButton* pause_;
    QComboBox* direction_;
    QComboBox* letter_;
    bool atBottom_ = true;
    bool sized_ = false; // the columns have their widths
};
