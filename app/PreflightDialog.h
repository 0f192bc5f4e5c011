#pragma once

#include "framework/Timer.h"
#include "transponder/PreflightCheck.h"
#include "transponder/QueryRound.h"

#include <QDialog>
#include <QTimer>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <vector>

class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QPushButton;
class QTableWidget;

// Tools → Pre-flight Check…: the operator's expectations of the transponder,
// kept per COM number, judged through the panel's own connection by the same
// check as "xpdrctl check", each item green or red, and a report to keep.
//
// It never waits in a loop of its own: it is shown modelessly and moves on from
// the replies the window hands it, so the polling goes on while it is open.
// With Auto off it asks its own round of queries; with Auto on it reads the
// next complete sequence and then fires the ping as the Fire button does,
// leaving the countdown and the Auto lamp to the sequence. Either way it times
// each answer from its query itself: one later than the panel waits fails. With
// Auto on the check ends failed when the watchdog finds the line silent or no
// complete sequence comes within SequenceLimitMs; a sequence the watchdog cut
// short is read again from the next start.
//
// Results belong to the fields they were run with: an edit of the aircraft, the
// operator or the expectations clears them, and a report is saved only of
// results run with an aircraft and an operator given.
class PreflightDialog : public QDialog {
    Q_OBJECT
public:
    // What the dialog needs from the window.
    struct Panel {
        std::function<bool()> connected;
        std::function<bool()> autoOn;
        std::function<int()> comNumber;
        std::function<void(const std::string& frame)> send;
        std::function<void()> firePing;
    };
    enum Column { Expectation, Expected, Reported, Result, ColumnCount };
    static constexpr unsigned SequenceLimitMs = 30000;

    explicit PreflightDialog(Panel panel, QWidget* parent = nullptr);

    // Shows the expectations kept for the COM number the window has now.
    void loadExpectations();
    // Starts a check of the expectations as written; a bad one is named in the
    // dialog and nothing is sent.
    void run();
    bool running() const { return state_ != State::Idle; }
    const std::vector<transponder::PreflightCheck::Result>& results() const { return report_.results; }

    // The report as a one-page PDF and as JSON beside it: `path` ending in
    // ".json" names the JSON, and the PDF takes the same name ending in ".pdf";
    // any other names the PDF, and the JSON takes its name ending in ".json".
    // Each goes only to a regular file or a new name; false, with the reason
    // shown, otherwise, or when there are no current results to report.
    bool saveReport(const QString& path);
    // "preflight-UAV-07-20261208T1410Z.pdf": the aircraft, made safe for a
    // file name, and the check's time in UTC.
    QString defaultReportName() const;

    // What the window tells it.
    void messageDecoded(const std::string& message);
    void querySent(const std::string& frame);
    void sequenceStarted();
    void sequenceCompleted();
    // The watchdog found nothing decoded since it last looked.
    void linkSilent();

protected:
    // Closing the dialog gives up a check that is still waiting (for a sequence
    // that Auto off or a lost link will not bring, say); its results stay.
    void hideEvent(QHideEvent* event) override;

private:
    enum class State { Idle, OwnRound, WaitingForSequence, ReadingSequence, WaitingForPing };

    void pump();
    void finish(const std::map<char, transponder::AnswerTimes::Answer>& answers, const QString& why = {});
    void fail(const QString& why);
    void fieldsEdited();
    void showResults(const QString& why);
    void askWhereToSave();
    void writePdf(QIODevice& device) const;

    Panel panel_;
    QLineEdit* aircraft_;
    QLineEdit* operator_;
    QPlainTextEdit* expectations_;
    QTableWidget* table_;
    QLabel* stateLabel_;
    QPushButton* run_;
    QPushButton* save_;

    State state_ = State::Idle;
    transponder::PreflightCheck check_;
    std::optional<transponder::QueryRound> round_;
    transponder::AnswerTimes times_; // read from the sequence, with Auto on
    QTimer wake_;
    fw::TTimer* sequenceLimit_;
    transponder::CheckReport report_;
    bool signable_ = false; // the results are current and name an aircraft and an operator
};
