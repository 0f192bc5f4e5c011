#include "tools/xpdrctl/StatusOutput.h"

#include <QJsonDocument>
#include <QString>

namespace xpdrctl {

namespace {

std::string quotedIfNeeded(const std::string& text)
{
    if (text.find_first_of(" \t\"=\\") == std::string::npos) return text;
    std::string quoted = "\"";
    for (char c : text) {
        if (c == '"' || c == '\\') quoted += '\\';
        quoted += c;
    }
    return quoted + '"';
}

} // namespace

std::string forTerminal(const std::string& latin1)
{
    return QString::fromLatin1(latin1.data(), static_cast<qsizetype>(latin1.size())).toLocal8Bit().toStdString();
}

std::string statusLines(const transponder::SequenceRecord& record)
{
    std::string lines;
    for (transponder::Item item : transponder::Items)
        lines += std::string(transponder::key(item)) + ": " + forTerminal(record.status.text(item)) + '\n';
    return lines;
}

std::string watchLine(const transponder::SequenceRecord& record)
{
    const QJsonObject json = transponder::sequenceJson(record);
    std::string line = json.value(QStringLiteral("time")).toString().toStdString();
    for (transponder::Item item : transponder::Items)
        line += ' ' + std::string(transponder::key(item)) + '=' + quotedIfNeeded(forTerminal(record.status.text(item)));
    if (!record.unanswered.empty()) {
        line += " unanswered=";
        for (std::size_t i = 0; i < record.unanswered.size(); ++i) {
            if (i > 0) line += ',';
            line += record.unanswered[i];
        }
    }
    return line + '\n';
}

std::string jsonLine(const transponder::SequenceRecord& record)
{
    return QJsonDocument(transponder::sequenceJson(record)).toJson(QJsonDocument::Compact).toStdString() + '\n';
}

} // namespace xpdrctl
