#pragma once

#include <QByteArray>
#include <QTemporaryDir>
#include <string>

// Switches the process's LC_NUMERIC to a locale whose decimal separator is a
// comma, as QApplication does from the environment on a German desktop, and
// back again. Such a locale is compiled into a temporary folder (LOCPATH) when
// none is installed, which needs no change to the system.
class CommaNumericLocale {
public:
    CommaNumericLocale();
    ~CommaNumericLocale();
    CommaNumericLocale(const CommaNumericLocale&) = delete;
    CommaNumericLocale& operator=(const CommaNumericLocale&) = delete;

    bool active() const { return active_; }

private:
    bool use(const char* name);

    std::string previousLocale_;
    QByteArray previousPath_;
    QTemporaryDir compiled_;
    bool active_ = false;
};
