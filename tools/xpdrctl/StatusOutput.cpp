#include "tools/xpdrctl/StatusOutput.h"

#include "transponder/AlarmModel.h"
#include "transponder/FrameText.h"

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

std::string forTerminal(const std::string& latin1, bool raw)
{
    if (!raw) return transponder::frameText(latin1).toStdString();
    return QString::fromLatin1(latin1.data(), static_cast<qsizetype>(latin1.size())).toLocal8Bit().toStdString();
}

std::string statusLines(const transponder::SequenceRecord& record, bool raw)
{
    std::string lines;
    for (transponder::Item item : transponder::Items) {
        const std::string& text = record.status.text(item);
        lines += std::string(transponder::key(item)) + ": " + forTerminal(text, raw);
        if (item == transponder::Item::Code)
            if (const auto meaning = transponder::AlarmModel::emergencyMeaning(text)) lines += " (" + *meaning + ")";
        lines += '\n';
    }
    return lines;
}

std::string statusJsonLine(const transponder::SequenceRecord& record)
{
    QJsonObject json = transponder::sequenceJson(record);
    const auto meaning = transponder::AlarmModel::emergencyMeaning(record.status.text(transponder::Item::Code));
    json.insert(QStringLiteral("emergency"), meaning ? QJsonValue(QString::fromStdString(*meaning)) : QJsonValue());
    return jsonLine(json);
}

std::string watchLine(const transponder::SequenceRecord& record, bool raw)
{
    const QJsonObject json = transponder::sequenceJson(record);
    std::string line = json.value(QStringLiteral("time")).toString().toStdString();
    for (transponder::Item item : transponder::Items)
        line += ' ' + std::string(transponder::key(item)) + '=' + quotedIfNeeded(forTerminal(record.status.text(item), raw));
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
    return jsonLine(transponder::sequenceJson(record));
}

std::string checkLines(const std::vector<transponder::PreflightCheck::Result>& results, bool raw)
{
    std::string lines;
    for (const auto& result : results)
        lines += std::string(transponder::key(result.expectation.item)) + ": expected " + result.expectation.expected
                 + ", " + (result.reported ? "reported " + forTerminal(transponder::reportedWords(result), raw) : "unanswered") + ": "
                 + std::string(transponder::resultWord(result)) + '\n';
    return lines;
}

std::string jsonLine(const QJsonObject& object)
{
    // Qt escapes only what JSON demands: DEL would go out as it is and the C1
    // controls (U+0080 .. U+009F, 0xC2 0x80 .. 0xC2 0x9F in UTF-8), which a
    // terminal may act on, too. They are escaped as well; the value read is the same.
    static const char Hex[] = "0123456789abcdef";
    const QByteArray json = QJsonDocument(object).toJson(QJsonDocument::Compact);
    std::string line;
    line.reserve(static_cast<std::size_t>(json.size()) + 1);
    for (qsizetype i = 0; i < json.size(); ++i) {
        const auto u = static_cast<unsigned char>(json[i]);
        const auto next = i + 1 < json.size() ? static_cast<unsigned char>(json[i + 1]) : 0;
        if (u == 0x7F) {
            line += "\\u007f";
        } else if (u == 0xC2 && next >= 0x80 && next <= 0x9F) {
            line += "\\u00";
            line += Hex[next >> 4];
            line += Hex[next & 0xF];
            ++i;
        } else {
            line += static_cast<char>(u);
        }
    }
    return line + '\n';
}

} // namespace xpdrctl
