#pragma once

#include <QWidget>

class QComboBox;
class QDateTimeEdit;
class QLabel;
class QProgressBar;
class QPushButton;
class QSlider;

// The controls of a recording under review, above its lines in the traffic
// monitor: the session shown (a file may hold several), a time slider over the
// session and a "go to time" field, which move the monitor and the trends to a
// moment; while the recording is being indexed a progress bar and Cancel; and
// a note of what the file holds that the operator should know (lines that do
// not read, a partial last line).
class ReviewBar : public QWidget {
    Q_OBJECT
public:
    explicit ReviewBar(QWidget* parent = nullptr);

    // A session of the file, by its number (0: the lines before the first
    // start), listed as `text`.
    void addSession(int number, const QString& text);
    // Chooses session `number`, as the operator would.
    void showSession(int number);
    // The session's times, in ms since the epoch, that the slider spans.
    void setSpan(qint64 firstMs, qint64 lastMs);
    // Shows `ms` on the slider and in the field, telling no one.
    void showMoment(qint64 ms);
    void setProgress(qint64 done, qint64 total);
    // Indexing is over: the progress bar and Cancel go.
    void indexed();
    void setNote(const QString& text);
    QString note() const;

signals:
    void sessionChosen(int number);
    void momentChosen(qint64 ms);
    void cancelRequested();
    // The trends window of the review, closed or not, is wanted.
    void trendsRequested();

private:
    QComboBox* sessions_;
    QSlider* slider_;
    QDateTimeEdit* time_;
    QWidget* indexing_;
    QProgressBar* progress_;
    QPushButton* cancel_;
    QLabel* note_;
    qint64 firstMs_ = 0;
};
