#include "platform/LineAnswers.h"

#include <algorithm>

namespace platform {

namespace {

std::string describe(int item, std::uint32_t value)
{
    static const char* const parities[] = {"?", "no parity", "odd parity", "even parity", "mark parity", "space parity"};
    static const char* const stopSizes[] = {"?", "1 stop bit", "2 stop bits", "1.5 stop bits"};
    switch (item) {
    case LineAnswers::Baud: return std::to_string(value) + " bit/s";
    case LineAnswers::DataSize: return std::to_string(value) + " data bits";
    case LineAnswers::Parity: return value <= 5 ? parities[value] : "parity code " + std::to_string(value);
    case LineAnswers::StopSize: return value <= 3 ? stopSizes[value] : "stop size code " + std::to_string(value);
    default: return "flow control code " + std::to_string(value);
    }
}

} // namespace

void LineAnswers::asked(Item item, std::uint32_t value)
{
    Request& r = requests_[item];
    r.asked = value;
    r.sent = true;
    ++r.outstanding;
}

void LineAnswers::answered(Item item, std::uint32_t value)
{
    Request& r = requests_[item];
    if (r.outstanding == 0) return; // not asked for: nothing to check it against
    --r.outstanding;
    r.answered = value;
}

bool LineAnswers::complete() const
{
    return std::all_of(requests_.begin(), requests_.end(), [](const Request& r) { return r.outstanding == 0; });
}

std::string LineAnswers::refusals() const
{
    std::string refusals;
    for (int item = 0; item < ItemCount; ++item) {
        const Request& r = requests_[item];
        if (!r.sent || r.outstanding > 0 || r.answered == r.asked) continue;
        if (!refusals.empty()) refusals += ", ";
        refusals += describe(item, r.answered) + " instead of " + describe(item, r.asked);
    }
    return refusals;
}

} // namespace platform
