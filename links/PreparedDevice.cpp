#include "links/PreparedDevice.h"

#include "platform/ConnectionWait.h"
#include "platform/OpenDiagnosis.h"
#include "platform/PortDirectoryOnly.h"

#include <cerrno>

namespace links {

std::shared_ptr<PreparedDevice> PreparedDevice::pending()
{
    auto device = std::make_shared<PreparedDevice>();
    device->open_ = EINPROGRESS;
    return device;
}

PreparedDevice::PreparedDevice(std::shared_ptr<platform::ConnectionWait> wait)
    : wait_(std::move(wait))
{
}

PreparedDevice::~PreparedDevice()
{
    if (device_ && device_->isOpen()) device_->close();
}

int PreparedDevice::prepare(const std::string& comName, const Setup& setup)
{
    // Only what the entry names, never a built-in device in its place, and no
    // box: nobody at the window is waiting for this opening.
    const platform::PortDirectoryOnly directoryOnly;
    const platform::UnattendedOpening unattended;
    device_ = std::make_unique<platform::ComPortDevice>(wait_);
    const int error = device_->open(comName);
    open_ = error;
    if (error != 0) {
        const platform::OpenDiagnosis diagnosis = platform::diagnoseOpenFailure(comName, error);
        diagnosis_ = diagnosis.summary;
        detail_ = diagnosis.detail;
        return error;
    }
    // The component's own order: queues, line, time-outs, then DTR and RTS.
    queues_ = device_->setupQueues(setup.inQueue, setup.outQueue);
    line_ = device_->applySettings(setup.line);
    timeouts_ = device_->setTimeouts(setup.timeouts);
    dtr_ = device_->setControlLine(platform::ControlLine::Dtr, true);
    rts_ = device_->setControlLine(platform::ControlLine::Rts, true);
    return 0;
}

int PreparedDevice::taken(std::optional<int>& result, int otherwise)
{
    if (!result) return otherwise;
    const int value = *result;
    result.reset();
    return value;
}

int PreparedDevice::open(const std::string&)
{
    return taken(open_, EBUSY);
}

int PreparedDevice::setupQueues(std::uint32_t inQueue, std::uint32_t outQueue)
{
    if (queues_) return taken(queues_, 0);
    return device_ ? device_->setupQueues(inQueue, outQueue) : EBADF;
}

int PreparedDevice::applySettings(const platform::DeviceControl& settings)
{
    if (line_) return taken(line_, 0);
    return device_ ? device_->applySettings(settings) : EBADF;
}

int PreparedDevice::setTimeouts(const platform::CommTimeouts& timeouts)
{
    if (timeouts_) return taken(timeouts_, 0);
    return device_ ? device_->setTimeouts(timeouts) : EBADF;
}

int PreparedDevice::setEventMask(std::uint32_t mask)
{
    return device_ ? device_->setEventMask(mask) : EBADF;
}

int PreparedDevice::wait(std::uint32_t& events)
{
    return device_ ? device_->wait(events) : EBADF;
}

int PreparedDevice::release()
{
    return device_ ? device_->release() : EBADF;
}

int PreparedDevice::modemStatus(std::uint32_t& status)
{
    return device_ ? device_->modemStatus(status) : EBADF;
}

int PreparedDevice::queueCounts(platform::CommStatus& status)
{
    return device_ ? device_->queueCounts(status) : EBADF;
}

int PreparedDevice::read(char* data, std::size_t size, std::size_t& count)
{
    return device_ ? device_->read(data, size, count) : EBADF;
}

int PreparedDevice::write(const char* data, std::size_t size, unsigned timeoutMs, std::size_t& taken)
{
    return device_ ? device_->write(data, size, timeoutMs, taken) : EBADF;
}

void PreparedDevice::takeSent(std::string& bytes)
{
    if (device_) device_->takeSent(bytes);
}

int PreparedDevice::setControlLine(platform::ControlLine line, bool on)
{
    std::optional<int>& prepared = line == platform::ControlLine::Dtr ? dtr_ : rts_;
    if (prepared && on) return taken(prepared, 0);
    return device_ ? device_->setControlLine(line, on) : EBADF;
}

int PreparedDevice::abort()
{
    return device_ ? device_->abort() : EBADF;
}

int PreparedDevice::close()
{
    return device_ ? device_->close() : EBADF;
}

} // namespace links
