#include "ScriptedDevice.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>

void ScriptedDevice::raise(std::uint32_t events)
{
    {
        std::lock_guard lock(mutex_);
        pending_ |= events;
    }
    changed_.notify_all();
}

void ScriptedDevice::receive(const std::string& bytes)
{
    {
        std::lock_guard lock(mutex_);
        input_ += bytes;
        pending_ |= platform::EvRxChar;
    }
    changed_.notify_all();
}

void ScriptedDevice::setModemStatus(std::uint32_t status, int error)
{
    std::lock_guard lock(mutex_);
    modem_ = status;
    modemError_ = error;
}

void ScriptedDevice::failWaits(int error)
{
    {
        std::lock_guard lock(mutex_);
        waitError_ = error;
    }
    changed_.notify_all();
}

void ScriptedDevice::failReads(int error)
{
    std::lock_guard lock(mutex_);
    readError_ = error;
}

std::vector<std::string> ScriptedDevice::calls() const
{
    std::lock_guard lock(mutex_);
    return calls_;
}

std::string ScriptedDevice::written() const
{
    std::lock_guard lock(mutex_);
    return written_;
}

bool ScriptedDevice::inputEmpty() const
{
    std::lock_guard lock(mutex_);
    return input_.empty();
}

int ScriptedDevice::waits() const
{
    std::lock_guard lock(mutex_);
    return waits_;
}

platform::DeviceControl ScriptedDevice::settings() const
{
    std::lock_guard lock(mutex_);
    return settings_;
}

platform::CommTimeouts ScriptedDevice::timeouts() const
{
    std::lock_guard lock(mutex_);
    return timeouts_;
}

int ScriptedDevice::open(const std::string& comName)
{
    std::lock_guard lock(mutex_);
    log("open " + comName);
    if (openError_ != 0) return openError_;
    open_ = true;
    return 0;
}

int ScriptedDevice::setupQueues(std::uint32_t inQueue, std::uint32_t outQueue)
{
    std::lock_guard lock(mutex_);
    log("setupQueues " + std::to_string(inQueue) + " " + std::to_string(outQueue));
    return 0;
}

int ScriptedDevice::applySettings(const platform::DeviceControl& settings)
{
    std::lock_guard lock(mutex_);
    log("applySettings");
    settings_ = settings;
    return 0;
}

int ScriptedDevice::setTimeouts(const platform::CommTimeouts& timeouts)
{
    std::lock_guard lock(mutex_);
    log("setTimeouts");
    timeouts_ = timeouts;
    return 0;
}

int ScriptedDevice::setEventMask(std::uint32_t mask)
{
    std::lock_guard lock(mutex_);
    char text[32];
    std::snprintf(text, sizeof text, "setEventMask 0x%X", mask);
    log(text);
    mask_ = mask;
    return 0;
}

int ScriptedDevice::wait(std::uint32_t& events)
{
    events = 0;
    std::unique_lock lock(mutex_);
    ++waits_;
    if (!open_) return EBADF;
    changed_.wait(lock, [this] { return released_ || waitError_ != 0 || (pending_ & mask_) != 0; });
    if (released_) return 0;
    if (waitError_ != 0) return waitError_;
    events = pending_ & mask_;
    pending_ &= ~events;
    return 0;
}

int ScriptedDevice::release()
{
    {
        std::lock_guard lock(mutex_);
        log("release");
        released_ = true;
    }
    changed_.notify_all();
    return 0;
}

int ScriptedDevice::modemStatus(std::uint32_t& status)
{
    std::lock_guard lock(mutex_);
    status = modemError_ == 0 ? modem_ : 0;
    return modemError_;
}

int ScriptedDevice::queueCounts(platform::CommStatus& status)
{
    std::lock_guard lock(mutex_);
    status.cbInQue = static_cast<std::uint32_t>(input_.size());
    status.cbOutQue = 0;
    return open_ ? 0 : EBADF;
}

int ScriptedDevice::read(char* data, std::size_t size, std::size_t& count)
{
    std::lock_guard lock(mutex_);
    count = 0;
    if (!open_) return EBADF;
    if (readError_ != 0) return readError_;
    count = std::min(size, input_.size());
    input_.copy(data, count);
    input_.erase(0, count);
    return 0;
}

int ScriptedDevice::write(const char* data, std::size_t size, unsigned, std::size_t& taken)
{
    std::lock_guard lock(mutex_);
    taken = 0;
    if (!open_) return EBADF;
    written_.append(data, size);
    unreported_.append(data, size);
    taken = size;
    return 0;
}

void ScriptedDevice::takeSent(std::string& bytes)
{
    std::lock_guard lock(mutex_);
    bytes += unreported_;
    unreported_.clear();
}

int ScriptedDevice::setControlLine(platform::ControlLine line, bool on)
{
    std::lock_guard lock(mutex_);
    log(std::string(line == platform::ControlLine::Rts ? "RTS" : "DTR") + (on ? " on" : " off"));
    return 0;
}

int ScriptedDevice::abort()
{
    std::lock_guard lock(mutex_);
    log("abort");
    return 0;
}

int ScriptedDevice::close()
{
    std::lock_guard lock(mutex_);
    log("close");
    open_ = false;
    return 0;
}

bool ScriptedDevice::isOpen() const
{
    std::lock_guard lock(mutex_);
    return open_;
}
