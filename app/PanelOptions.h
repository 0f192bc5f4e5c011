#pragma once

#include <QCommandLineOption>
#include <QCommandLineParser>
#include <QList>
#include <QString>
#include <QStringList>
#include <optional>

// The panel's command line. It is read before the application object exists, so
// that --help and --version answer on a console with no display. Each option is
// defined once, in the constructor; the help text is made from those definitions.
class PanelOptions {
public:
    enum class Outcome { Run, ShowHelp, ShowVersion, Invalid };

    // The program's name as operators type it, and its version.
    PanelOptions(QString program, QString version);

    // The arguments as main received them, the program's own path first.
    Outcome parse(const QStringList& arguments);

    // Parses the arguments and prints what --help, --version or a bad command
    // line calls for (the help and the version on stdout, an error as one line on
    // stderr); returns the exit status then, and nothing when the panel is to start.
    std::optional<int> answer(const QStringList& arguments);

    // The file named by --record FILE, empty without one.
    QString recordFile() const;

    QString helpText() const;
    QString versionText() const;
    // One line saying what was wrong, after parse() returned Invalid.
    QString errorText() const;

private:
    QString program_;
    QString version_;
    QCommandLineOption help_;
    QCommandLineOption showVersion_;
    QCommandLineOption record_;
    QList<QCommandLineOption> options_; // in the order the help lists them
    QCommandLineParser parser_;
    QString error_;
};
