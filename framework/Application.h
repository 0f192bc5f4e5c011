#pragma once

#include <QObject>
#include <QString>
#include <cstdint>
#include <exception>
#include <functional>

namespace fw {

// The application's idle handler: Done reports whether it has finished.
using IdleHandler = std::function<void(QObject* Sender, bool& Done)>;

// What the window logic expects of the application object beyond Qt's: an idle
// event, a default error handler, and the knowledge of whether a modal box is open.
class Application {
public:
    static Application& instance();

    // Installs `handler` as the idle handler, called with `sender`. It runs on the
    // window thread each time the window thread's event queue has drained, just
    // before the event loop would block; never while a modal box is open.
    //
    // A handler may answer Done = false ("call me again at once"). We do not loop on
    // that answer. Between two idle calls with no event in between, nothing the
    // handler reads can have changed: messages, timer expiries and operator input all
    // arrive as events, and an event ends the wait and is followed by another idle
    // call. A second call straight away would therefore find exactly what the first
    // one left and do nothing, so calling it once per drained queue is observably the
    // same as calling it in a tight loop, without keeping a processor busy.
    void setOnIdle(QObject* sender, IdleHandler handler);

    // Runs the idle handler once, unless a modal box is open or it is already
    // running. The event-loop hook calls this; tests may call it directly.
    void idle();

    // Measurement aid: when set, a handler that answers Done = false is called again
    // at once by waking the event loop, as a spinning idle loop would. Off in the
    // program; benchmarks use it to show what spinning costs.
    void setSpinWhileNotDone(bool spin);

    // True while a modal message box is open (ModalScope). Only these boxes
    // hold the idle handler back, as the panel was designed: the sequence waits
    // for the operator's answer. Other dialogs, modal or not, leave it running,
    // so that a file or port dialog never stops the polling of the transponder.
    bool modalOpen() const;
    // How many boxes have been opened since the program started: whoever follows
    // a span of time compares two readings to learn whether a box came up in it.
    std::uint64_t boxesOpened() const { return boxesOpened_; }

    // Marks a modal box as open for its lifetime.
    class ModalScope {
    public:
        ModalScope();
        ~ModalScope();
        ModalScope(const ModalScope&) = delete;
        ModalScope& operator=(const ModalScope&) = delete;
    };

    // The default error handler: shows the exception's message in a modal box
    // titled with the application's title, with an error icon and an OK button.
    void showException(std::exception_ptr error);

    QString title() const { return title_; }
    void setTitle(const QString& title) { title_ = title; }

private:
    Application() = default;
    void hookEventLoop();

    QObject* idleSender_ = nullptr;
    IdleHandler onIdle_;
    bool hooked_ = false;
    bool inIdle_ = false;
    bool spin_ = false;
    int modalDepth_ = 0;
    std::uint64_t boxesOpened_ = 0;
    QString title_ = QStringLiteral("uavControl");
};

// Runs an event handler so that nothing it throws crosses Qt's event loop: the
// exception ends the handler and is shown by the default error handler; the
// program goes on. Every handler of the window is invoked through this.
template <class F>
void invokeHandler(F&& handler) noexcept
{
    try {
        handler();
    } catch (...) {
        Application::instance().showException(std::current_exception());
    }
}

} // namespace fw
