#include "Application.h"

#include "MessageBoxes.h"

#include <QAbstractEventDispatcher>
#include <QCoreApplication>

namespace fw {

Application& Application::instance()
{
    static Application app;
    return app;
}

void Application::setOnIdle(QObject* sender, IdleHandler handler)
{
    idleSender_ = sender;
    onIdle_ = std::move(handler);
    hookEventLoop();
}

void Application::hookEventLoop()
{
    if (hooked_) return;
    auto* dispatcher = QAbstractEventDispatcher::instance(qApp ? qApp->thread() : nullptr);
    if (!dispatcher) return;
    // aboutToBlock is emitted by the window thread's dispatcher, in the main loop
    // and in every nested (modal) loop, each time its queue has drained and it is
    // about to wait for the next event.
    QObject::connect(dispatcher, &QAbstractEventDispatcher::aboutToBlock, qApp, [this] { idle(); });
    hooked_ = true;
}

void Application::idle()
{
    if (!onIdle_ || inIdle_ || modalOpen()) return;
    inIdle_ = true;
    bool done = true;
    invokeHandler([&] { onIdle_(idleSender_, done); });
    inIdle_ = false;
    if (spin_ && !done) {
        if (auto* dispatcher = QAbstractEventDispatcher::instance(qApp->thread())) dispatcher->wakeUp();
    }
}

void Application::setSpinWhileNotDone(bool spin)
{
    spin_ = spin;
}

bool Application::modalOpen() const
{
    return modalDepth_ > 0;
}

Application::ModalScope::ModalScope()
{
    ++instance().modalDepth_;
    ++instance().boxesOpened_;
}

Application::ModalScope::~ModalScope()
{
    --instance().modalDepth_;
}

void Application::showException(std::exception_ptr error)
{
    QString text;
    try {
        std::rethrow_exception(error);
    } catch (const std::exception& e) {
        text = QString::fromUtf8(e.what());
    } catch (...) {
        text = QStringLiteral("Unknown error");
    }
    // A failure inside the box itself must not escape either: we may be called from
    // an event handler that Qt invoked.
    try {
        MessageBox(text, title_, MsgButtons::Ok, MsgIcon::Error);
    } catch (...) {
    }
}

} // namespace fw
