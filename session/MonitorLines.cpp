#include "session/MonitorLines.h"

namespace session {

QVariant MonitorLines::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (role != Qt::DisplayRole || orientation != Qt::Horizontal) return {};
    static const char* const Titles[] = {"Time", "Dir", "Frame", "Description"};
    return section >= 0 && section < Columns ? QString::fromLatin1(Titles[section]) : QVariant();
}

QString MonitorLines::lineText(const QString& time, const QString& direction, const QString& frame,
                               const QString& description)
{
    return QStringLiteral("%1  %2  %3  %4").arg(time).arg(direction, -5).arg(frame, -16).arg(description);
}

} // namespace session
