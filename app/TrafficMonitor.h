#pragma once

#include <QWidget>

class QAbstractItemModel;
class QComboBox;
class QTableView;
class QPushButton;

namespace session {
class TrafficModel;
}

// View → "Traffic Monitor": every frame in both directions, automatic queries
// included, with its time, direction, bytes and meaning, and the noise that
// fell between frames. The operator can pause the view (the record goes on),
// clear it, filter it by direction or letter, copy selected lines and save the
// lines shown as text.
//
// A window of its own over the session's TrafficModel, which keeps taking lines
// whether the window is open or not.
class TrafficMonitor : public QWidget {
    Q_OBJECT
public:
    explicit TrafficMonitor(session::TrafficModel& model, QWidget* parent = nullptr);

    // The selected lines, one a line, as shown.
    QString selectedText() const;
    // Writes every line shown to `path` as text; false after a box saying why.
    bool saveShownLines(const QString& path);

protected:
    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;

private:
    void applyFilter();
    void copySelection();
    void saveAs();
    void followNewLines();
    void setModelOfView(QAbstractItemModel* model);

    session::TrafficModel& model_;
    QTableView* list_;
    QPushButton* pause_;
    QComboBox* direction_;
    QComboBox* letter_;
    bool atBottom_ = true;
    bool sized_ = false; // the columns have their widths
};
