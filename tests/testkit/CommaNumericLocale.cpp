#include "tests/testkit/CommaNumericLocale.h"

#include <QProcess>
#include <clocale>

CommaNumericLocale::CommaNumericLocale()
    : previousLocale_(setlocale(LC_NUMERIC, nullptr)), previousPath_(qgetenv("LOCPATH"))
{
    if (use("de_DE.UTF-8")) return;
    if (!compiled_.isValid()) return;
    const QString path = compiled_.path() + QStringLiteral("/de_DE.UTF-8");
    if (QProcess::execute(QStringLiteral("localedef"), {QStringLiteral("-i"), QStringLiteral("de_DE"),
                                                       QStringLiteral("-f"), QStringLiteral("UTF-8"), path}) != 0)
        return;
    qputenv("LOCPATH", compiled_.path().toLocal8Bit());
    use("de_DE.UTF-8");
}

CommaNumericLocale::~CommaNumericLocale()
{
    setlocale(LC_NUMERIC, previousLocale_.c_str());
    if (previousPath_.isNull())
        qunsetenv("LOCPATH");
    else
        qputenv("LOCPATH", previousPath_);
}

bool CommaNumericLocale::use(const char* name)
{
    active_ = setlocale(LC_NUMERIC, name) != nullptr && std::string(localeconv()->decimal_point) == ",";
    return active_;
}
