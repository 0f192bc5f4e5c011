#pragma once

#include "session/SequenceCsv.h"

#include <QByteArray>
#include <QJsonObject>

class QIODevice;

namespace session {

// Every sequence of a session as a CSV row (SequenceCsv), kept from the start
// whatever the plots thin away, for the trends' export. The rows are kept as
// one text: a day of Auto at the shortest period is about 3 MB.
class SequenceTable {
public:
    void frame(TrafficDirection direction, std::string_view bytes, double ms) { csv_.frame(direction, bytes, ms); }
    void sequence(const QJsonObject& sequence);
    // Rows made elsewhere by a SequenceCsv (a recording's, on its reader's
    // thread), `count` of them.
    void append(const QByteArray& rows, std::size_t count);

    std::size_t rows() const { return rows_; }
    // The header and every row; false when the device took not all of it.
    bool write(QIODevice& device) const;

private:
    SequenceCsv csv_;
    QByteArray text_;
    std::size_t rows_ = 0;
};

} // namespace session
