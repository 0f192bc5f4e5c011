#include "tools/xpdrsim/Simulator.h"

#include "platform/PortNames.h"
#include "tools/xpdrsim/Frame.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <poll.h>
#include <stdexcept>
#include <system_error>
#include <unistd.h>

namespace xpdrsim {

Simulator::Device::Device(const Options& options)
{
    if (!options.comPort) return;
    const std::string directory = platform::portDirectory();
    if (directory.empty()) throw std::runtime_error("no port directory: set UAVCONTROL_PORTS or HOME");
    link.emplace(directory, "COM" + std::to_string(*options.comPort), pty.slavePath());
}

Simulator::Simulator(const Options& options, std::ostream& out, std::ostream& err)
    : start_(std::chrono::steady_clock::now()),
      options_(options),
      out_(out),
      log_(options.log ? &err : nullptr),
      notes_(&err),
      device_(std::in_place, options),
      transponder_(Millis(0), options.reportsPerSecond),
      line_(options.line)
{
    if (options_.replay) {
        replay_.emplace(RecordedTransponder(QString::fromLocal8Bit(*options_.replay), options_.session, err),
                        options_.speed);
        // A loop over a few lines would go round hundreds of times a second.
        if (options_.loop && replay_->length() < MinLoop)
            throw BadRecording("--loop: session " + std::to_string(options_.session) + " is " +
                               std::to_string(replay_->length().count()) + " ms long; a loop takes 1 s or more");
    }
}

Millis Simulator::now() const
{
    return std::chrono::duration_cast<Millis>(std::chrono::steady_clock::now() - start_);
}

void Simulator::announce()
{
    if (device_->link)
        out_ << "xpdrsim: COM" << *options_.comPort << " -> " << device_->pty.slavePath() << std::endl;
    else
        out_ << "xpdrsim: " << device_->pty.slavePath() << std::endl;
}

int Simulator::run()
{
    announce();
    // Otherwise the recording's clock waits for the panel's first question:
    // what was recorded after the start of recording is met as it was, however
    // long the panel takes to connect.
    if (replay_ && options_.fromStart) replay_->restart(now());

    for (;;) {
        Millis deadline = replay_ ? replay_->nextEvent() : transponder_.nextEvent();
        if (const auto due = line_.nextDue()) deadline = std::min(deadline, *due);
        const auto timeout = std::max<Millis::rep>(0, (deadline - now()).count());

        // Without a device its two entries are -1, which poll() passes over.
        pollfd fds[] = {
            {signals_.fd(), POLLIN, 0},
            {device_ ? device_->pty.master() : -1, POLLIN, 0},
            {device_ ? device_->watch.fd() : -1, POLLIN, 0},
        };
        if (poll(fds, std::size(fds), static_cast<int>(std::min<Millis::rep>(timeout, 60000))) < 0) {
            if (errno == EINTR) continue;
            throw std::system_error(errno, std::generic_category(), "poll");
        }
        if (const int signal = signals_.take()) {
            log_.note(std::string("stopped by ") + strsignal(signal));
            return 0;
        }
        // Opens and closes first: a panel that has just opened the port and sent a
        // query must find it open when the query is answered.
        if (device_) device_->watch.update([this] { portChanged(); });
        if (device_ && fds[1].revents) readDevice();
        if (!advance()) return 0;
    }
}

bool Simulator::advance()
{
    const Millis at = now();
    for (auto& report : replay_ ? replay_->advance(at) : transponder_.advance(at)) {
        if (!line_.send(report, LineShaper::Kind::Report, at) && listening()) log_.lost(report, lossReason());
    }
    if (replay_) followLinkLoss();
    sendDue();
    if (!replay_ || !replay_->over(at)) return true;
    if (!options_.loop) {
        notes_.note("end of the recording: the replay stops");
        return false;
    }
    notes_.note("end of the recording: the replay starts again from the beginning");
    replay_->restart(at);
    return true;
}

void Simulator::followLinkLoss()
{
    if (replay_->linkLost() != device_.has_value()) return;
    if (device_) {
        notes_.note("the link was lost on record: the device is gone until it returns");
        line_.clear();
        assembler_ = MessageAssembler();
        device_.reset();
        return;
    }
    device_.emplace(options_);
    notes_.note("the link returns on record: a new device");
    announce();
}

void Simulator::portChanged()
{
    if (device_->watch.open()) {
        log_.note("port opened");
        return;
    }
    line_.clear();
    device_->pty.resetLine();
    log_.note("port closed");
}

void Simulator::readDevice()
{
    char buffer[4096];
    for (;;) {
        const ssize_t length = read(device_->pty.master(), buffer, sizeof buffer);
        if (length > 0) {
            for (ssize_t i = 0; i < length; ++i)
                if (assembler_.push(buffer[i], {})) serve(assembler_.message());
            continue;
        }
        if (length < 0 && errno == EINTR) continue;
        if (length < 0 && errno == EAGAIN) return;
        // We hold the slave open, so the master cannot hang up while we run.
        throw std::system_error(length < 0 ? errno : EIO, std::generic_category(), "reading the pseudo-terminal");
    }
}

void Simulator::serve(std::string_view message)
{
    log_.received(message);
    const Millis at = now();
    if (replay_ && !replay_->started()) {
        notes_.note("first question received: the replay starts");
        replay_->restart(at);
    }
    if (replay_) return replay(message, at);
    for (auto& reply : transponder_.receive(message, at)) {
        if (!line_.send(reply, LineShaper::Kind::Reply, at))
            log_.lost(reply, lossReason());
    }
}

void Simulator::replay(std::string_view message, Millis at)
{
    const RecordedTransponder::Outcome* outcome = replay_->outcome(message, at);
    const auto frame = parseFrame(message);
    if (frame && frame->value != "?") {
        const std::string how = outcome && outcome->reply ? "answered as recorded"
                                : outcome                 ? "not answered, as on record"
                                                          : "not answered: none on record";
        notes_.note("setting received: " + readable(message) + ", " + how);
    }
    if (!outcome || !outcome->reply) return;
    // A reply that came late comes as late again.
    if (!line_.send(*outcome->reply, LineShaper::Kind::Reply, at + replay_->replyDelay(*outcome)))
        log_.lost(*outcome->reply, lossReason());
}

void Simulator::sendDue()
{
    for (const auto& outgoing : line_.takeDue(now())) {
        // Nobody is listening: on a real line these bytes would be lost as well.
        if (!listening()) continue;
        write(outgoing);
    }
}

// A panel that stops reading lets the device's buffer fill; the rest of a frame
// that does not fit is lost, as on a line whose receiver overflows, rather than
// held back and sent late.
void Simulator::write(const LineShaper::Outgoing& outgoing)
{
    std::string_view rest = outgoing.bytes;
    while (!rest.empty()) {
        const ssize_t written = ::write(device_->pty.master(), rest.data(), rest.size());
        if (written < 0 && errno == EINTR) continue;
        if (written <= 0) {
            log_.lost(outgoing.frame, "device buffer full");
            return;
        }
        rest.remove_prefix(static_cast<std::size_t>(written));
    }
    log_.sent(outgoing.bytes);
}

} // namespace xpdrsim
