#include "session/SequenceTable.h"

#include <QIODevice>

namespace session {

void SequenceTable::sequence(const QJsonObject& sequence)
{
    text_ += csv_.row(sequence);
    ++rows_;
}

void SequenceTable::append(const QByteArray& rows, std::size_t count)
{
    text_ += rows;
    rows_ += count;
}

bool SequenceTable::write(QIODevice& device) const
{
    const QByteArray header = SequenceCsv::header();
    return device.write(header) == header.size() && device.write(text_) == text_.size();
}

} // namespace session
