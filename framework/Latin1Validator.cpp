#include "Latin1Validator.h"

QValidator::State Latin1Validator::validate(QString& input, int&) const
{
    for (QChar c : input)
        if (c.unicode() > 0xFF) return Invalid;
    return Acceptable;
}
