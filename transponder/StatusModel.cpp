#include "transponder/StatusModel.h"

namespace transponder {

void StatusModel::apply(const Reply& reply)
{
    if (reply.shows) show(reply.shows->item, reply.shows->text);
    if (reply.lamp) setLit(reply.lamp->lamp, reply.lamp->lit);
}

void StatusModel::clear()
{
    texts_ = {};
    lamps_ = {};
}

} // namespace transponder
