#pragma once

#include <QString>
#include <QStringList>

// What a program printed and how it ended.
struct ProgramRun {
    int exitCode = -1; // -1 when it did not start, crashed or did not end in time
    QString out;
    QString err;
};

// Runs a program to its end as a console user would, with no display in the
// environment.
ProgramRun runWithoutDisplay(const QString& program, const QStringList& arguments);
