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
#include <functional>
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
// box with Cancel) for a closing of ours to the same server to end, for the
// host's name to be looked up, its addresses to be raced (AddressRace) and the
// server to answer; it gives up after ConnectLimit in all. Applying the
// settings waits for the server's answers the same way, for at most
// AnswerLimit. Closing hands the connection to ClosingLinks and returns.
//
// The device is written in parts: NetworkSerialDevice.cpp opens, negotiates
// and closes; NetworkServerCheck.cpp judges a TLS server; NetworkDataPath.cpp
// carries the bytes and the events; NetworkLineControl.cpp sets the line.
class NetworkSerialDevice : public SerialDevice, private GensioLoop::Listener {
public:
    static constexpr std::chrono::seconds ConnectLimit{5};
    static constexpr std::chrono::seconds AnswerLimit{2};
    // Written bytes the server has not taken that are kept between writes;
    // beyond them a write's rest is dropped, and the first drop of a
    // connection is reported (ENOBUFS).
    static constexpr std::size_t UnsentLimit = 64 * 1024;

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
    bool plainToAnotherHost() const override { return open_.load() && !address_.tls && !peerLoopback_; }

    // Names are looked up in `hosts` instead of the system's resolver.
    void setHosts(HostTable hosts) { hosts_ = std::move(hosts); }

    // What went wrong with the last opening or setting, in words for the
    // operator: the entry, the host, the reason. Empty after a success.
    std::string diagnosis() const;

private:
    static constexpr std::size_t FarewellLimit = 160;
    // More bytes than these before a server agrees to RFC 2217 are a flood:
    // a raw accepter's device talking, or another service. gensio's Telnet
    // refuses then as if the server spoke no RFC 2217; the diagnosis says what
    // came instead. (A serial server's device that talks from the start sends
    // far less in the millisecond an agreement takes.)
    static constexpr std::size_t FloodLimit = 512;
    using Clock = ConnectionWait::Clock;

    // What gensio's callbacks of one connection are handed: the device while
    // it owns the connection, none once the connection is closing, so that a
    // callback late from the loop never reaches a device that has moved on.
    struct Route {
        std::mutex mutex;
        NetworkSerialDevice* device = nullptr;
    };
    // Calls `call` with the route's device, if it has one still.
    template <class Call>
    static void through(void* route, Call call)
    {
        auto* target = static_cast<Route*>(route);
        std::lock_guard lock(target->mutex);
        if (target->device) call(*target->device);
    }

    static int onEvent(gensio* io, void* route, int event, int error, unsigned char* buffer, std::size_t* length,
                       const char* const* auxiliary);
    int event(int event, int error, unsigned char* buffer, std::size_t* length, const char* const* auxiliary);
    void logged(const std::string& line) override;
    std::string serverCertificate() const;
    int judgeServer();
    int verifyServer(int error, const char* reason);

    int fail(int error, const std::string& problem);
    int openFailure(int gensioError);
    int plainToTlsPort();
    int connectFailure(int error, const std::string& resolverWords);
    int confirmRfc2217(Clock::time_point deadline);
    // Waits through the connection wait until `done` holds (checked under
    // mutex_) or `deadline` passes; 0, ETIMEDOUT or ECANCELED.
    int awaitAnswer(Clock::time_point deadline, const std::function<bool()>& done);
    void handOverConnection();
    void endStack();
    void received(int error, const unsigned char* data, std::size_t& length);
    void keepFarewell(std::string_view data);
    void sayServerClosed(int error);
    void serialEvent(int event, unsigned value);
    template <int Item>
    static void onAnswer(sergensio* serial, int error, unsigned value, void* route);
    // Hands gensio what it takes of unsent_; the caller holds writeMutex_.
    void sendSome();
    void writeReady();
    std::uint32_t checkOutputEmpty();
    void markGone(int error);

    std::shared_ptr<ConnectionWait> connectionWait_;
    std::string comName_;
    NetworkAddress address_;
    SocketAddress connectedAddress_;     // the address the opening connected to
    std::string trustFile_;              // the CAs a TLS server is judged by: ca=, or the system's
    std::atomic<int> handshakeSocket_{-1};
    int earlyCounted_ = -1;              // the socket whose early bytes are counted  // the socket gensio was given, until it is open
    std::string peer_;   // "HOST:PORT"
    HostTable hosts_;

    bool usingLoop_ = false;             // from the start of an opening to the end of its closing
    std::shared_ptr<Route> route_;       // the connection's, from its making to its closing
    gensio* io_ = nullptr;
    sergensio* serial_ = nullptr;        // RFC 2217 only
    std::atomic<bool> open_{false};
    bool peerLoopback_ = false;          // the address connected to is this machine's
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
    bool dropReported_ = false;          // output beyond UnsentLimit has been dropped and said so
    std::atomic<bool> sentLate_{false};  // sent_ grew outside a write

    mutable std::mutex mutex_;           // guards everything below
    bool opened_ = false;                // gensio's opening has ended ...
    int openError_ = 0;                  // ... with this gensio error
    bool queried_ = false;               // the server has answered our first request ...
    int queryError_ = 0;                 // ... or gensio has given it up with this error
    InputQueue input_;
    bool reading_ = false;               // gensio's reads are on
    std::uint32_t pendingEvents_ = 0;    // found while no wait was running
    std::uint32_t modemStatus_ = 0;
    LineAnswers answersOfLine_;
    std::string diagnosis_;
    std::string tlsReason_;              // what gensio's log said of a failed handshake
    bool serverShown_ = false;           // the server's certificate came in the handshake ...
    bool serverJudged_ = false;          // ... and passed our judgement
    std::string earliest_;               // the first bytes the connection brought
    std::string farewell_;               // the first text the connection brought
    std::string openingBytes_;           // what gensio read from the socket while it opened
    bool onlyText_ = true;               // it has brought nothing but text so far
};

} // namespace platform
