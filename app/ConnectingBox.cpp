#include "app/ConnectingBox.h"

#include <QEventLoop>
#include <QMessageBox>
#include <QSocketNotifier>
#include <QTimer>

#include <cerrno>
#include <poll.h>

namespace {

// What the first part of a wait ends with when the box is due.
constexpr int ShowTheBox = -1;

} // namespace

ConnectingBox::ConnectingBox(QWidget* parent)
    : parent_(parent)
{
}

ConnectingBox::~ConnectingBox() = default;

void ConnectingBox::begin(const std::string& peer)
{
    if (depth_++ > 0) return;
    peer_ = QString::fromStdString(peer);
    unattended_ = platform::UnattendedOpening::active();
    cancelled_ = false;
    started_.start();
    modal_.emplace();
}

void ConnectingBox::end()
{
    if (depth_ == 0 || --depth_ > 0) return;
    box_.reset();
    modal_.reset();
}

int ConnectingBox::wait(int fd, short events, Clock::time_point deadline)
{
    if (cancelled_) return ECANCELED;
    const auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - Clock::now()).count();
    if (left <= 0) return ETIMEDOUT;

    QEventLoop loop;
    QSocketNotifier ready(static_cast<qintptr>(fd), (events & POLLOUT) ? QSocketNotifier::Write : QSocketNotifier::Read);
    QObject::connect(&ready, &QSocketNotifier::activated, &loop, [&loop] { loop.exit(0); });
    QTimer limit;
    limit.setSingleShot(true);
    limit.setTimerType(Qt::PreciseTimer);
    QObject::connect(&limit, &QTimer::timeout, &loop, [&loop] { loop.exit(ETIMEDOUT); });
    limit.start(static_cast<int>(left));

    QEventLoop* const outer = loop_;
    loop_ = &loop;
    int result = 0;
    if (unattended_) {
        result = loop.exec(QEventLoop::ExcludeUserInputEvents);
    } else if (!box_) {
        // Until the box is up, nothing the operator does may start anything:
        // input waits until the opening is over.
        QTimer due;
        due.setSingleShot(true);
        QObject::connect(&due, &QTimer::timeout, &loop, [&loop] { loop.exit(ShowTheBox); });
        due.start(std::max<qint64>(0, ShowAfterMs - started_.elapsed()));
        result = loop.exec(QEventLoop::ExcludeUserInputEvents);
        if (result == ShowTheBox) {
            showBox();
            result = cancelled_ ? ECANCELED : loop.exec();
        }
    } else {
        result = loop.exec();
    }
    loop_ = outer;
    return result;
}

void ConnectingBox::showBox()
{
    box_ = std::make_unique<QMessageBox>(QMessageBox::NoIcon, fw::Application::instance().title(),
                                         QStringLiteral("Connecting to %1\u2026").arg(peer_), QMessageBox::Cancel,
                                         parent_.data());
    // The peer is written in the port directory, not by us: it shows as typed.
    box_->setTextFormat(Qt::PlainText);
    box_->setWindowModality(Qt::ApplicationModal);
    // Cancel, Escape and the window's close button alike give the opening up.
    QObject::connect(box_.get(), &QDialog::finished, [this] { cancel(); });
    box_->show();
}

void ConnectingBox::cancel()
{
    cancelled_ = true;
    if (loop_) loop_->exit(ECANCELED);
}
