#include "platform/TelnetCodec.h"

#include <algorithm>

namespace platform {

namespace {

std::string bytes(std::initializer_list<std::uint8_t> list)
{
    return std::string(list.begin(), list.end());
}

} // namespace

TelnetCodec::TelnetCodec(std::initializer_list<std::uint8_t> ours, std::initializer_list<std::uint8_t> his)
{
    us_.fill(State::No);
    him_.fill(State::No);
    for (std::uint8_t option : ours) wantUs_[option] = true;
    for (std::uint8_t option : his) wantHim_[option] = true;
}

std::string TelnetCodec::start()
{
    std::string requests;
    for (int option = 0; option < 256; ++option) {
        if (wantUs_[option] && us_[option] == State::No) {
            us_[option] = State::WantYes;
            requests += bytes({IAC, WILL, static_cast<std::uint8_t>(option)});
        }
        if (wantHim_[option] && him_[option] == State::No) {
            him_[option] = State::WantYes;
            requests += bytes({IAC, DO, static_cast<std::uint8_t>(option)});
        }
    }
    return requests;
}

bool TelnetCodec::settled() const
{
    return std::none_of(us_.begin(), us_.end(), [](State s) { return s == State::WantYes; })
        && std::none_of(him_.begin(), him_.end(), [](State s) { return s == State::WantYes; });
}

void TelnetCodec::receive(std::string_view input, Received& received)
{
    for (const char c : input) {
        const auto b = static_cast<std::uint8_t>(c);
        switch (parse_) {
        case Parse::Data:
            if (b == IAC) parse_ = Parse::Iac;
            else received.data += c;
            break;
        case Parse::Iac:
            parse_ = Parse::Data;
            if (b == IAC) received.data += c;
            else if (b == WILL || b == WONT || b == DO || b == DONT) {
                verb_ = b;
                parse_ = Parse::Command;
            } else if (b == SB) {
                parse_ = Parse::SbOption;
            }
            // Every other command (NOP, GA, DM, AYT, ...) asks nothing of a
            // program that has no terminal: it is dropped.
            break;
        case Parse::Command:
            command(verb_, b, received.reply);
            parse_ = Parse::Data;
            break;
        case Parse::SbOption:
            sb_ = {b, {}};
            parse_ = Parse::SbData;
            break;
        case Parse::SbData:
            if (b == IAC) parse_ = Parse::SbIac;
            else if (sb_.payload.size() < MaxSubnegotiation) sb_.payload += c;
            break;
        case Parse::SbIac:
            if (b == IAC) {
                if (sb_.payload.size() < MaxSubnegotiation) sb_.payload += c;
                parse_ = Parse::SbData;
                break;
            }
            // IAC SE ends it; any other command ends it too, and is then taken
            // as the command it is, so that a lost SE cannot swallow the stream.
            received.subnegotiations.push_back(std::move(sb_));
            sb_ = {};
            parse_ = Parse::Iac;
            if (b != SE) receive(std::string_view(&c, 1), received);
            else parse_ = Parse::Data;
            break;
        }
    }
}

void TelnetCodec::command(std::uint8_t verb, std::uint8_t option, std::string& reply)
{
    // WILL and WONT are about his side, DO and DONT about ours.
    if (verb == WILL || verb == WONT)
        negotiate(him_[option], wantHim_[option], verb == WILL, DO, DONT, option, reply);
    else
        negotiate(us_[option], wantUs_[option], verb == DO, WILL, WONT, option, reply);
}

// One side of one option. `enable` is what the other party asks for or offers;
// `yes` and `no` are the verbs we answer with.
void TelnetCodec::negotiate(State& state, bool wanted, bool enable, std::uint8_t yes, std::uint8_t no,
                            std::uint8_t option, std::string& reply)
{
    switch (state) {
    case State::No:
        // Asked to turn on: agree if we want it, refuse if not. Asked to stay
        // off: it is off, and an answer would start a loop.
        if (!enable) return;
        if (wanted) state = State::Yes;
        reply += bytes({IAC, wanted ? yes : no, option});
        return;
    case State::Yes:
        if (enable) return;
        state = State::No;
        reply += bytes({IAC, no, option});
        return;
    case State::WantYes:
        // The answer to our request, or a request of his that crossed it.
        state = enable ? State::Yes : State::No;
        return;
    }
}

std::string TelnetCodec::escape(std::string_view data)
{
    std::string out;
    out.reserve(data.size() + 4);
    for (const char c : data) {
        out += c;
        if (static_cast<std::uint8_t>(c) == IAC) out += c;
    }
    return out;
}

std::string TelnetCodec::subnegotiation(std::uint8_t option, std::string_view payload)
{
    return bytes({IAC, SB, option}) + escape(payload) + bytes({IAC, SE});
}

} // namespace platform
