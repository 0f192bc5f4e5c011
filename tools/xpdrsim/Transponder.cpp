#include "tools/xpdrsim/Transponder.h"

#include "tools/xpdrsim/Frame.h"

#include <algorithm>
#include <charconv>
#include <cmath>

namespace xpdrsim {

namespace {

constexpr const char* FirmwareVersion = "2.14";
constexpr const char* SerialNumber = "04172";
// Hours on the unit's clock before this run; "o" adds the hours of the run to it.
constexpr long long OperatingHoursBefore = 1532;
constexpr int MaxOffsetTenths = 100;

bool firstCharacterOnly(char letter)
{
    return letter == 'd' || letter == 'i' || letter == 'p' || letter == 'r' || letter == 's';
}

bool isOctalCode(const std::string& text)
{
    return text.size() == 4 && std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '7'; });
}

// Decimal text of 0 .. 65535, digits only: what a serial altitude encoder sends.
std::optional<int> parseAltitude(const std::string& text)
{
    if (text.empty() || text.size() > 5) return std::nullopt;
    int value = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (error != std::errc() || end != text.data() + text.size() || text.front() == '-' || value > 65535)
        return std::nullopt;
    return value;
}

// The offset in tenths of a volt, the unit's resolution. The panel sends the text
// of its box as typed, so blanks around it and a decimal comma are taken too.
std::optional<int> parseOffsetTenths(std::string text)
{
    const auto blank = [](char c) { return static_cast<unsigned char>(c) <= ' '; };
    text.erase(text.begin(), std::find_if_not(text.begin(), text.end(), blank));
    text.erase(std::find_if_not(text.rbegin(), text.rend(), blank).base(), text.end());
    std::replace(text.begin(), text.end(), ',', '.');
    double volts = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), volts);
    if (text.empty() || error != std::errc() || end != text.data() + text.size() || !std::isfinite(volts))
        return std::nullopt;
    const long tenths = std::lround(volts * 10);
    if (tenths < 0 || tenths > MaxOffsetTenths) return std::nullopt;
    return static_cast<int>(tenths);
}

} // namespace

Transponder::Transponder(Millis now, double reportsPerSecond)
    : start_(now), now_(now), nextClimb_(now + ClimbInterval)
{
    if (reportsPerSecond > 0)
        reportPeriod_ = std::max(Millis(1), Millis(std::lround(1000.0 / reportsPerSecond)));
    nextReport_ = now + reportPeriod_;
}

std::vector<std::string> Transponder::receive(std::string_view message, Millis now)
{
    update(now);
    const auto frame = parseFrame(message);
    if (!frame) return {};
    const char letter = frame->letter;
    const std::string text = firstCharacterOnly(letter) ? frame->value.substr(0, 1) : frame->value;

    // A ping carries no state: the unit answers that it is there, or nothing.
    if (letter == 'p') {
        if (text == "y" || text == "?") return {makeFrame('p', "Y")};
        return {};
    }
    if (!value(letter)) return {};
    if (text != "?") apply(letter, text, now);
    return {makeFrame(letter, *value(letter))};
}

std::vector<std::string> Transponder::advance(Millis now)
{
    update(now);
    if (!replies_ || reportPeriod_ == Millis(0) || now < nextReport_) return {};
    ++interrogations_;
    nextReport_ += reportPeriod_;
    if (nextReport_ <= now) nextReport_ = now + reportPeriod_;
    return {makeFrame('*', "")};
}

Millis Transponder::nextEvent() const
{
    Millis next = nextClimb_;
    if (spiUntil_) next = std::min(next, *spiUntil_);
    if (replies_ && reportPeriod_ > Millis(0)) next = std::min(next, nextReport_);
    return next;
}

void Transponder::update(Millis now)
{
    if (now <= now_) return;
    now_ = now;
    while (nextClimb_ <= now) {
        climbAltitude_ += ClimbStep;
        if (climbAltitude_ > ClimbCeiling) climbAltitude_ = ClimbFloor;
        nextClimb_ += ClimbInterval;
    }
    if (spiUntil_ && now >= *spiUntil_) spiUntil_.reset();
}

void Transponder::apply(char letter, const std::string& value, Millis now)
{
    switch (letter) {
    case 'a':
        // Altitude frames count only while the encoder input is the serial line;
        // with a Gillham encoder the unit reads its own altitude.
        if (!serialEncoder_) return;
        if (const auto feet = parseAltitude(value)) serialAltitude_ = *feet;
        return;
    case 'c':
        if (!isOctalCode(value)) return;
        code_ = value;
        return;
    case 'd':
        if (value != "g" && value != "s") return;
        serialEncoder_ = value == "s";
        return;
    case 'f':
        if (const auto tenths = parseOffsetTenths(value)) offsetTenths_ = *tenths;
        return;
    case 'i':
        if (value != "s") return;
        spiUntil_ = now + SpiDuration;
        return;
    case 'r':
        if (value == "y") {
            // Reports resume one period after switching on, not at once.
            if (!replies_) nextReport_ = now + reportPeriod_;
            replies_ = true;
        } else if (value == "n") {
            replies_ = false;
        }
        return;
    case 's':
        if (value.size() != 1 || std::string_view("taclf").find(value.front()) == std::string_view::npos)
            return;
        function_ = value.front();
        return;
    case 'v':
        if (value != "1" && value != "2") return;
        supply28V_ = value == "2";
        return;
    default:
        // The other items are read-only.
        return;
    }
}

int Transponder::altitude() const
{
    return serialEncoder_ ? serialAltitude_ : climbAltitude_;
}

std::optional<std::string> Transponder::value(char letter) const
{
    const long long uptimeSeconds = std::chrono::duration_cast<std::chrono::seconds>(now_ - start_).count();
    switch (letter) {
    case 'a': return std::to_string(altitude());
    case 'c': return code_;
    case 'd': return serialEncoder_ ? "s" : "g";
    case 'e': return "0"; // fault code: none
    case 'f': return std::to_string(offsetTenths_ / 10) + "." + std::to_string(offsetTenths_ % 10);
    case 'i': return spiUntil_ ? "1" : "0";
    case 'l': return std::to_string(interrogations_); // interrogations replied to since power-up
    case 'n': return SerialNumber;
    case 'o': return std::to_string(OperatingHoursBefore + uptimeSeconds / 3600);
    case 'r': return replies_ ? "Y" : "N";
    case 's': return std::string(1, function_);
    case 'u': return std::to_string(uptimeSeconds); // seconds since power-up
    case 'v': return supply28V_ ? "27.9" : "13.8";
    case 'z': return FirmwareVersion;
    default: return std::nullopt;
    }
}

} // namespace xpdrsim
