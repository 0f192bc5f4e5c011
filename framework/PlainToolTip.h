#pragma once

#include <QString>

namespace fw {

// A tooltip has no text format of its own: Qt takes anything that looks like
// markup for markup. Such a text is returned as markup that shows its
// characters; any other stays as it is, so its lines still break where they did.
// For tooltips that quote what came from outside (a transponder's value, a
// server's words).
QString plainToolTip(const QString& text);

} // namespace fw
