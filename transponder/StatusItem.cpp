#include "transponder/StatusItem.h"

namespace transponder {

std::string_view key(Item item)
{
    switch (item) {
    case Item::Mode: return "mode";
    case Item::Code: return "code";
    case Item::Replies: return "replies";
    case Item::Spi: return "spi";
    case Item::Altitude: return "altitude";
    case Item::Volts: return "volts";
    case Item::Offset: return "offset";
    case Item::Version: return "version";
    case Item::Ping: return "ping";
    }
    return {};
}

} // namespace transponder
