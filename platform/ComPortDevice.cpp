#include "platform/ComPortDevice.h"

#include "platform/NetworkSerialDevice.h"
#include "platform/PortNames.h"
#include "platform/PosixSerialDevice.h"

namespace platform {

ComPortDevice::ComPortDevice(std::shared_ptr<ConnectionWait> wait)
    : connectionWait_(std::move(wait))
{
}

ComPortDevice::~ComPortDevice() = default;

int ComPortDevice::open(const std::string& comName)
{
    if (isOpen()) return EBUSY;
    const std::string path = resolvePortName(comName);
    if (!path.empty() && isNetworkEntry(path)) {
        auto network = std::make_unique<NetworkSerialDevice>(connectionWait_);
        network_ = network.get();
        device_ = std::move(network);
    } else {
        network_ = nullptr;
        device_ = std::make_unique<PosixSerialDevice>();
    }
    return device_->open(comName);
}

std::string ComPortDevice::diagnosis() const
{
    return network_ ? network_->diagnosis() : std::string();
}

// Until an opening has made a device there is nothing to act on: each call
// fails as on a closed device.
int ComPortDevice::setupQueues(std::uint32_t inQueue, std::uint32_t outQueue)
{
    return device_ ? device_->setupQueues(inQueue, outQueue) : EBADF;
}

int ComPortDevice::applySettings(const DeviceControl& settings)
{
    return device_ ? device_->applySettings(settings) : EBADF;
}

int ComPortDevice::setTimeouts(const CommTimeouts& timeouts)
{
    return device_ ? device_->setTimeouts(timeouts) : EBADF;
}

int ComPortDevice::setEventMask(std::uint32_t mask)
{
    return device_ ? device_->setEventMask(mask) : EBADF;
}

int ComPortDevice::wait(std::uint32_t& events)
{
    events = 0;
    return device_ ? device_->wait(events) : EBADF;
}

int ComPortDevice::release()
{
    return device_ ? device_->release() : EBADF;
}

int ComPortDevice::modemStatus(std::uint32_t& status)
{
    status = 0;
    return device_ ? device_->modemStatus(status) : EBADF;
}

int ComPortDevice::queueCounts(CommStatus& status)
{
    status = {};
    return device_ ? device_->queueCounts(status) : EBADF;
}

int ComPortDevice::read(char* data, std::size_t size, std::size_t& count)
{
    count = 0;
    return device_ ? device_->read(data, size, count) : EBADF;
}

int ComPortDevice::write(const char* data, std::size_t size, unsigned timeoutMs, std::size_t& taken)
{
    taken = 0;
    return device_ ? device_->write(data, size, timeoutMs, taken) : EBADF;
}

void ComPortDevice::takeSent(std::string& bytes)
{
    if (device_) device_->takeSent(bytes);
}

int ComPortDevice::setControlLine(ControlLine line, bool on)
{
    return device_ ? device_->setControlLine(line, on) : EBADF;
}

int ComPortDevice::abort()
{
    return device_ ? device_->abort() : EBADF;
}

int ComPortDevice::close()
{
    return device_ ? device_->close() : EBADF;
}

} // namespace platform
