#pragma once

#include "platform/ConnectionWait.h"
#include "platform/GensioLoop.h"
#include "platform/HostLookup.h"
#include "platform/InputQueue.h"
#include "platform/LineAnswers.h"
#include "platform/NetworkAddress.h"
#include "platform/OutputDrain.h"
#include "platform/SerialDevice.h"
#include "platform/WakeEvent.h"

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <string>

struct gensio;
struct sergensio;

namespace platform {

// A serial port served over the network (by ser2net, for one), named by an
// entry file in the port directory that holds "tcp://HOST:PORT" or
// "rfc2217://HOST:PORT", with "+tls" after the scheme for TLS.
//
// The connection is a gensio stack built from the entry's fields (see
// GensioStack.h). Raw TCP carries the bytes both ways and leaves the line to
// the server. RFC 2217 is gensio's Telnet with COM-PORT-OPTION: the line
// settings and DTR and RTS travel to the server through gensio's serial
// interface, whose answers are checked, and the server's line and modem
// notifications and its requests to hold and resume our output come back as
// events. With TLS, the server's certificate must name HOST (or servername=);
// a failed handshake is diagnosed by what went wrong and its fix.
//
// gensio runs on the process's one gensio loop (GensioLoop): its callbacks put
// what arrives into an input queue of ours and nudge the wait, which polls
// nothing but its wake event. gensio is not read while that queue is full, so
// TCP holds the server back. A connection that ends is a device that has
// gone: the wait fails once with ECONNRESET.
//
// Opening is synchronous and waits through a ConnectionWait (a window shows a
// box with Cancel) for the host's name to be looked up, its addresses to be
// raced (AddressRace) and the server to answer; it gives up after
// ConnectLimit in all. Applying the settings waits for the server's answers
// the same way, for at most AnswerLimit.
class NetworkSerialDevice : public SerialDevice, private GensioLoop::Listener {
public:
    static constexpr std::chrono::seconds ConnectLimit{5};
    static constexpr std::chrono::seconds AnswerLimit{2};

    // Without a wait of its own, opening polls.
    explicit NetworkSerialDevice(std::shared_ptr<ConnectionWait> wait = nullptr);
    ~NetworkSerialDevice() override;
    NetworkSerialDevice(const NetworkSerialDevice&) = delete;
    NetworkSerialDevice& operator=(const NetworkSerialDevice&) = delete;

    // A malformed entry fails with EINVAL, an unknown host with EHOSTUNREACH,
    // a port nobody listens on with ECONNREFUSED, the time limit with
    // ETIMEDOUT, a cancel with ECANCELED, a server that refuses RFC 2217
    // with EPROTONOSUPPORT, and a TLS handshake that fails with EPROTO.
    int open(const std::string& comName) override;
    int setupQueues(std::uint32_t inQueue, std::uint32_t outQueue) override;
    // A setting the server does not take fails with EINVAL; a server that
    // does not answer in time with ETIMEDOUT.
    int applySettings(const DeviceControl& settings) override;
    int setTimeouts(const CommTimeouts& timeouts) override;
    int setEventMask(std::uint32_t mask) override;
    int wait(std::uint32_t& events) override;
    int release() override;
    int modemStatus(std::uint32_t& status) override;
    int queueCounts(CommStatus& status) override;
    int read(char* data, std::size_t size, std::size_t& count) override;
    using SerialDevice::write;
    int write(const char* data, std::size_t size, unsigned timeoutMs, std::size_t& taken) override;
    void takeSent(std::string& bytes) override;
    int setControlLine(ControlLine line, bool on) override;
    int abort() override;
    int close() override;
    bool isOpen() const override { return open_.load(); }

    // Names are looked up in `hosts` instead of the system's resolver.
    void setHosts(HostTable hosts) { hosts_ = std::move(hosts); }

    // What went wrong with the last opening or setting, in words for the
    // operator: the entry, the host, the reason. Empty after a success.
    std::string diagnosis() const;

private:
    static constexpr std::size_t FarewellLimit = 160;
    using Clock = ConnectionWait::Clock;

    static int onEvent(gensio* io, void* self, int event, int error, unsigned char* buffer, std::size_t* length,
                       const char* const* auxiliary);
    int event(int event, int error, unsigned char* buffer, std::size_t* length, const char* const* auxiliary);
    void logged(const std::string& line) override;
    int verifyServer(int error, const char* reason);

    int fail(int error, const std::string& problem);
    int openFailure(int gensioError);
    int connectFailure(int error, const std::string& resolverWords);
    int confirmRfc2217(Clock::time_point deadline);
    // Waits through the connection wait until `done` holds (checked under
    // mutex_) or `deadline` passes; 0, ETIMEDOUT or ECANCELED.
    template <class Done>
    int awaitAnswer(Clock::time_point deadline, Done done);
    void endStack();
    void received(int error, const unsigned char* data, std::size_t& length);
    void keepFarewell(std::string_view data);
    void sayServerClosed(int error);
    void serialEvent(int event, unsigned value);
    template <int Item>
    static void onAnswer(sergensio* serial, int error, unsigned value, void* self);
    // Hands gensio what it takes of unsent_; the caller holds writeMutex_.
    void sendSome();
    void writeReady();
    std::uint32_t checkOutputEmpty();
    void markGone(int error);

    std::shared_ptr<ConnectionWait> connectionWait_;
    std::string comName_;
    NetworkAddress address_;
    std::string peer_;   // "HOST:PORT"
    HostTable hosts_;

    bool usingLoop_ = false;             // from the start of an opening to the end of its closing
    gensio* io_ = nullptr;
    sergensio* serial_ = nullptr;        // RFC 2217 only
    std::atomic<bool> open_{false};
    std::atomic<int> socket_{-1};        // gensio's socket, for its queue counts and liveness
    WakeEvent wake_;                     // the wait's
    WakeEvent answers_;                  // an opening's or a setting's
    std::atomic<bool> released_{false};
    std::atomic<bool> gone_{false};
    std::atomic<int> goneError_{0};
    bool goneReported_ = false;          // waiter only
    std::atomic<std::uint32_t> mask_{0};

    OutputDrain outputDrain_;

    std::mutex writeMutex_;              // one writer at a time; guards what follows
    std::condition_variable writable_;   // unsent_ shrank, or the connection went
    std::string unsent_;                 // written bytes gensio has not taken yet,
    std::size_t unsentHead_ = 0;         // from here on
    std::string sent_;                   // written bytes gone out, not yet taken
    bool writing_ = false;               // a write waits for its bytes to go
    bool suspended_ = false;             // the server asked us to hold our output
    std::atomic<bool> sentLate_{false};  // sent_ grew outside a write

    mutable std::mutex mutex_;           // guards everything below
    bool opened_ = false;                // gensio's opening has ended ...
    int openError_ = 0;                  // ... with this gensio error
    bool queried_ = false;               // the server has answered our first request ...
    int queryError_ = 0;                 // ... or gensio has given it up with this error
    bool closed_ = false;                // gensio's closing has ended
    std::condition_variable changed_;    // closed_ was set
    InputQueue input_;
    bool reading_ = false;               // gensio's reads are on
    std::uint32_t pendingEvents_ = 0;    // found while no wait was running
    std::uint32_t modemStatus_ = 0;
    LineAnswers answersOfLine_;
    std::string diagnosis_;
    std::string tlsReason_;              // what gensio's log said of a failed handshake
    std::string farewell_;               // the first text the connection brought
    std::string openingBytes_;           // what gensio read from the socket while it opened
    bool onlyText_ = true;               // it has brought nothing but text so far
};

} // namespace platform
