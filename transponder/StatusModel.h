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
// Changed by replies alone, a model keeps these invariants: the code is empty
// or four characters; the offset is empty or ends in " V"; the supply voltage
// and the offset have no blank or control character at either end; the SPI
// lamp is lit exactly when the SPI item reads "Active", and the ping lamp
// exactly when the ping item reads "Received".
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
