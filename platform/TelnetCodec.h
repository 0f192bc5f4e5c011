#pragma once

#include <array>
#include <cstdint>
#include <initializer_list>
#include <string>
#include <string_view>
#include <vector>

namespace platform {

// The Telnet side of a connection (RFC 854, 855) for a client that wants a few
// options and refuses every other. Qt-free and without I/O: bytes in, bytes
// out, so that it is tested on byte strings.
//
// Options are negotiated by the rules of RFC 1143: an answer goes out only
// when a side's state changes, so two parties that both follow the rules never
// loop, and a request that crossed ours is taken as the answer to it.
//
// Received data comes out with each doubled IAC made single again, also when
// the pair is split across two reads; data going out is doubled by escape().
class TelnetCodec {
public:
    enum Byte : std::uint8_t {
        SE = 240, NOP = 241, DM = 242, BRK = 243, IP = 244, AO = 245, AYT = 246, EC = 247, EL = 248,
        GA = 249, SB = 250, WILL = 251, WONT = 252, DO = 253, DONT = 254, IAC = 255,
    };
    enum Option : std::uint8_t { Binary = 0, Echo = 1, SuppressGoAhead = 3, ComPort = 44 };

    // A subnegotiation that came in whole: IAC SB option payload IAC SE, with
    // the payload's doubled IACs made single.
    struct Subnegotiation {
        std::uint8_t option;
        std::string payload;
    };

    // What one call of receive() gave.
    struct Received {
        std::string data;                          // for the application
        std::string reply;                         // to send back at once
        std::vector<Subnegotiation> subnegotiations;
    };

    // `ours`: the options we offer to do ourselves (WILL); `his`: those we ask
    // the other side to do (DO).
    TelnetCodec(std::initializer_list<std::uint8_t> ours, std::initializer_list<std::uint8_t> his);

    // The requests that open the negotiation.
    std::string start();
    void receive(std::string_view bytes, Received& received);

    // Whether an option is in force, on our side or on his.
    bool ours(std::uint8_t option) const { return us_[option] == State::Yes; }
    bool his(std::uint8_t option) const { return him_[option] == State::Yes; }
    // True once every request of start() has been answered, yes or no.
    bool settled() const;

    // Data with each IAC doubled, ready to send.
    static std::string escape(std::string_view data);
    // IAC SB option payload IAC SE, the payload escaped.
    static std::string subnegotiation(std::uint8_t option, std::string_view payload);

    // A subnegotiation longer than this is cut there; none of ours comes near it.
    static constexpr std::size_t MaxSubnegotiation = 512;

private:
    enum class State : std::uint8_t { No, Yes, WantYes };
    enum class Parse : std::uint8_t { Data, Iac, Command, SbOption, SbData, SbIac };

    void command(std::uint8_t verb, std::uint8_t option, std::string& reply);
    static void negotiate(State& state, bool wanted, bool enable, std::uint8_t yes, std::uint8_t no,
                          std::uint8_t option, std::string& reply);

    std::array<bool, 256> wantUs_ {};
    std::array<bool, 256> wantHim_ {};
    std::array<State, 256> us_ {};
    std::array<State, 256> him_ {};
    Parse parse_ = Parse::Data;
    std::uint8_t verb_ = 0;
    Subnegotiation sb_ {};
};

} // namespace platform
