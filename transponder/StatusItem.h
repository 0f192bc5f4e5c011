#pragma once

#include <array>
#include <string_view>

namespace transponder {

// The nine items of the status display, in the order the panel shows them.
enum class Item { Mode, Code, Replies, Spi, Altitude, Volts, Offset, Version, Ping };
inline constexpr std::array<Item, 9> Items = {Item::Mode,     Item::Code,  Item::Replies,
                                              Item::Spi,      Item::Altitude, Item::Volts,
                                              Item::Offset,   Item::Version, Item::Ping};

// The three status lamps: the interrogation report, the SPI and the ping.
enum class Lamp { Interrogation, Spi, Ping };
inline constexpr std::array<Lamp, 3> Lamps = {Lamp::Interrogation, Lamp::Spi, Lamp::Ping};

// The item's stable name in machine-readable output ("mode", "code", ...).
std::string_view key(Item item);

} // namespace transponder
