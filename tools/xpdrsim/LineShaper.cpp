#include "tools/xpdrsim/LineShaper.h"

#include "tools/xpdrsim/Frame.h"

namespace xpdrsim {

namespace {
constexpr int MaxJunkBytes = 4;
}

LineShaper::LineShaper(const LineOptions& options)
    : options_(options), random_(options.seed)
{
}

bool LineShaper::send(std::string frame, Kind kind, Millis now)
{
    if (options_.silent) return false;
    if (options_.drop > 0 && std::bernoulli_distribution(options_.drop)(random_)) return false;
    const Millis due = kind == Kind::Reply ? now + options_.delay : now;
    queue_.emplace(due, std::move(frame));
    return true;
}

std::optional<Millis> LineShaper::nextDue() const
{
    if (queue_.empty()) return std::nullopt;
    return queue_.begin()->first;
}

std::vector<LineShaper::Outgoing> LineShaper::takeDue(Millis now)
{
    std::vector<Outgoing> due;
    while (!queue_.empty() && queue_.begin()->first <= now) {
        auto node = queue_.extract(queue_.begin());
        std::string bytes = options_.noise ? junk() : std::string();
        bytes += node.mapped();
        due.push_back({std::move(bytes), std::move(node.mapped())});
    }
    return due;
}

// Half of the frames get one to four bytes of any value but ETX.
std::string LineShaper::junk()
{
    if (!std::bernoulli_distribution(0.5)(random_)) return {};
    const int count = std::uniform_int_distribution<int>(1, MaxJunkBytes)(random_);
    std::uniform_int_distribution<int> byte(0, 254);
    std::string bytes;
    for (int i = 0; i < count; ++i) {
        int value = byte(random_);
        if (value >= static_cast<unsigned char>(ETX)) ++value; // 0 .. 255 without ETX
        bytes += static_cast<char>(value);
    }
    return bytes;
}

} // namespace xpdrsim
