#pragma once

#include "framework/Application.h"
#include "platform/ConnectionWait.h"

#include <QElapsedTimer>
#include <QPointer>
#include <QString>

#include <memory>
#include <optional>

class QEventLoop;
class QMessageBox;
class QWidget;

// How the window waits while a network port connects: opening a port is
// synchronous, so the window thread runs the event loop meanwhile. The window
// keeps painting and its timers keep running; the idle handler does not run
// (no query goes out to a port that is not open yet) and operator input waits.
// After ShowAfterMs a modal "Connecting to HOST:PORT…" box appears, whose
// Cancel gives the opening up. A connection that is made at once shows no box,
// and neither does an unattended opening (a retry of a lost link): nobody at
// the window asked for it, and a box on every retry would trap the operator.
class ConnectingBox : public platform::ConnectionWait {
public:
    static constexpr int ShowAfterMs = 250;

    explicit ConnectingBox(QWidget* parent);
    ~ConnectingBox() override;
    ConnectingBox(const ConnectingBox&) = delete;
    ConnectingBox& operator=(const ConnectingBox&) = delete;

    void begin(const std::string& peer) override;
    int wait(int fd, short events, Clock::time_point deadline) override;
    void end() override;

    // The box while it is shown.
    QMessageBox* box() const { return box_.get(); }

private:
    void showBox();
    void cancel();

    QPointer<QWidget> parent_;
    int depth_ = 0;                 // openings in progress; one box for all of them
    QString peer_;
    QElapsedTimer started_;
    std::optional<fw::Application::ModalScope> modal_;
    std::unique_ptr<QMessageBox> box_;
    bool cancelled_ = false;
    bool unattended_ = false;       // the program's own retry: never a box
    QEventLoop* loop_ = nullptr;    // the wait in progress
};
