#pragma once

#include "session/TrafficEvent.h"

#include <QAbstractTableModel>
#include <QString>
#include <optional>

namespace session {

// What the traffic monitor shows: rows of four columns (time, direction, frame,
// description), each row also as one line of text for copying and saving, and
// a filter by direction and frame letter. The live lines (TrafficModel) and a
// recording's (RecordedTrafficModel) are both this.
class MonitorLines : public QAbstractTableModel {
    Q_OBJECT
public:
    enum Column { Time, Direction, Frame, Description };
    static constexpr int Columns = 4;

    using QAbstractTableModel::QAbstractTableModel;

    // The text of a row, as shown: "time  dir  frame  description".
    virtual QString rowText(int row) const = 0;
    // Nothing: every direction, or every letter.
    virtual void setFilter(std::optional<TrafficDirection> direction, std::optional<char> letter) = 0;

    int columnCount(const QModelIndex& parent = {}) const override { return parent.isValid() ? 0 : Columns; }
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;

    // The one line of text of a row's four columns, padded to line up.
    static QString lineText(const QString& time, const QString& direction, const QString& frame,
                            const QString& description);
};

} // namespace session
