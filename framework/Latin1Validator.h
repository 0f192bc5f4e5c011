#pragma once

#include <QValidator>

// Accepts only text that 8-bit characters can carry. What the operator types into
// a field that goes out on the line as typed must reach the line unchanged: a
// character outside Latin-1 would otherwise turn into "?" on the way, which for a
// transponder item is a query instead of a setting.
class Latin1Validator : public QValidator {
    Q_OBJECT
public:
    using QValidator::QValidator;
    State validate(QString& input, int& pos) const override;
};
