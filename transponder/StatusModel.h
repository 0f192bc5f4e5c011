#pragma once

#include "transponder/ReplyParser.h"
#include "transponder/StatusItem.h"

#include <array>
#include <string>

namespace transponder {

// The status display as data: the text of each of the nine items and the state
// of the three lamps, as the panel's labels and lamps show them. Texts are
// 8-bit, as they came off the line.
//
// Changed by replies and clear() alone, a model keeps these invariants: the
// code is empty or four characters; the offset is empty or ends in " V", and
// neither the text before that nor the supply voltage begins or ends with a
// blank or a control character; the mode, the replies, the SPI and the
// ping items hold one of their fixed texts or nothing; the SPI lamp is lit
// exactly when the SPI item reads "Active", the ping lamp exactly when the ping
// item reads "Received".
class StatusModel {
public:
    const std::string& text(Item item) const { return texts_[static_cast<std::size_t>(item)]; }
    bool lit(Lamp lamp) const { return lamps_[static_cast<std::size_t>(lamp)]; }

    // Takes the text and the lamp that the reply changes; the rest stays.
    void apply(const Reply& reply);
    void show(Item item, std::string text) { texts_[static_cast<std::size_t>(item)] = std::move(text); }
    void setLit(Lamp lamp, bool lit) { lamps_[static_cast<std::size_t>(lamp)] = lit; }
    // What the link watchdog does to a silent link: every text blank, every lamp out.
    void clear();

    bool operator==(const StatusModel&) const = default;

private:
    std::array<std::string, Items.size()> texts_;
    std::array<bool, Lamps.size()> lamps_{};
};

} // namespace transponder
