#include "app/PanelOptions.h"

#include "framework/ExitCodes.h"

#include <cstdio>

PanelOptions::PanelOptions(QString program, QString version)
    : program_(std::move(program)),
      version_(std::move(version)),
      help_({QStringLiteral("h"), QStringLiteral("help")}, QStringLiteral("print this text and exit")),
      showVersion_(QStringLiteral("version"), QStringLiteral("print the version and exit")),
      record_(QStringLiteral("record"), QStringLiteral("record the session to FILE (JSON Lines, added at its end)"),
              QStringLiteral("FILE")),
      options_{help_, showVersion_, record_}
{
    // "-platform" is one unknown option, not eight unknown letters.
    parser_.setSingleDashWordOptionMode(QCommandLineParser::ParseAsLongOptions);
    parser_.addOptions(options_);
}

PanelOptions::Outcome PanelOptions::parse(const QStringList& arguments)
{
    if (!parser_.parse(arguments)) {
        error_ = parser_.errorText();
        return Outcome::Invalid;
    }
    if (const QStringList extra = parser_.positionalArguments(); !extra.isEmpty()) {
        error_ = QStringLiteral("Unexpected argument '%1'.").arg(extra.first());
        return Outcome::Invalid;
    }
    if (parser_.isSet(help_)) return Outcome::ShowHelp;
    if (parser_.isSet(showVersion_)) return Outcome::ShowVersion;
    return Outcome::Run;
}

std::optional<int> PanelOptions::answer(const QStringList& arguments)
{
    switch (parse(arguments)) {
    case Outcome::ShowHelp:
        std::fputs(helpText().toLocal8Bit().constData(), stdout);
        return fw::exitcode::Ok;
    case Outcome::ShowVersion:
        std::fputs(versionText().toLocal8Bit().constData(), stdout);
        return fw::exitcode::Ok;
    case Outcome::Invalid:
        std::fprintf(stderr, "%s\n", errorText().toLocal8Bit().constData());
        return fw::exitcode::Usage;
    case Outcome::Run:
        break;
    }
    return std::nullopt;
}

QString PanelOptions::recordFile() const
{
    return parser_.value(record_);
}

QString PanelOptions::helpText() const
{
    QString text = QStringLiteral("Usage: %1 [OPTION]\n\n"
                                  "The control panel for the transponder of an unmanned aircraft: it connects\n"
                                  "over a serial port, sets the transponder, polls its status and sends\n"
                                  "commands typed by hand.\n\n"
                                  "Options:\n")
                       .arg(program_);
    for (const QCommandLineOption& option : options_) {
        QStringList names;
        for (const QString& name : option.names())
            names << (name.size() == 1 ? QStringLiteral("-") : QStringLiteral("--")) + name;
        QString left = names.join(QStringLiteral(", "));
        if (!option.valueName().isEmpty()) left += QLatin1Char(' ') + option.valueName();
        text += QStringLiteral("  %1  %2\n").arg(left, -14).arg(option.description());
    }
    text += QStringLiteral(
        "\nCOM<n> is the entry of that name in the port directory, $UAVCONTROL_PORTS\n"
        "if set, else ${XDG_CONFIG_HOME:-~/.config}/uavcontrol/ports; without one,\n"
        "COM1 .. COM9 are /dev/ttyS0 .. /dev/ttyS8.\n\n"
        "Exit status: 0 once the window is closed, 1 without a display, 2 for an\n"
        "unknown option or argument.\n");
    return text;
}

QString PanelOptions::versionText() const
{
    return QStringLiteral("%1 %2\n").arg(program_, version_);
}

QString PanelOptions::errorText() const
{
    return QStringLiteral("%1: %2 Try '%1 --help'.").arg(program_, error_);
}
