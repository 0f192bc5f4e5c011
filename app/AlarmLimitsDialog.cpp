#include "app/AlarmLimitsDialog.h"

#include <QCheckBox>
#include <QDialogButtonBox>
#include <QDoubleSpinBox>
#include <QFormLayout>
#include <QLabel>

namespace {

// The limits offered when none were set: a 28 V supply's usual band.
constexpr transponder::VoltageLimits Usual{26.0, 29.5};

QDoubleSpinBox* voltsBox(QWidget* parent, double value)
{
    auto* box = new QDoubleSpinBox(parent);
    box->setRange(0, 99.9);
    box->setDecimals(1);
    box->setSuffix(QStringLiteral(" V"));
    box->setValue(value);
    return box;
}

} // namespace

AlarmLimitsDialog::AlarmLimitsDialog(const std::optional<transponder::VoltageLimits>& limits, QWidget* parent)
    : QDialog(parent)
    , watch(new QCheckBox(QStringLiteral("Watch the supply voltage"), this))
    , minimum(voltsBox(this, limits.value_or(Usual).minimum))
    , maximum(voltsBox(this, limits.value_or(Usual).maximum))
    , problem(new QLabel(this))
{
    setWindowTitle(QStringLiteral("Alarm Limits"));
    minimum->setObjectName(QStringLiteral("minimum"));
    maximum->setObjectName(QStringLiteral("maximum"));
    problem->setObjectName(QStringLiteral("problem"));
    problem->setWordWrap(true);
    problem->hide();
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    auto* form = new QFormLayout(this);
    form->addRow(watch);
    form->addRow(QStringLiteral("Minimum:"), minimum);
    form->addRow(QStringLiteral("Maximum:"), maximum);
    form->addRow(problem);
    form->addRow(buttons);
    const auto follow = [this](bool on) {
        minimum->setEnabled(on);
        maximum->setEnabled(on);
        problem->hide();
    };
    connect(watch, &QCheckBox::toggled, this, follow);
    watch->setChecked(limits.has_value());
    follow(limits.has_value());
}

std::optional<transponder::VoltageLimits> AlarmLimitsDialog::limits() const
{
    if (!watch->isChecked()) return std::nullopt;
    return transponder::VoltageLimits{minimum->value(), maximum->value()};
}

void AlarmLimitsDialog::accept()
{
    if (watch->isChecked() && minimum->value() > maximum->value()) {
        problem->setText(QStringLiteral("The minimum (%1 V) is above the maximum (%2 V): lower the minimum or raise the "
                                        "maximum.")
                             .arg(minimum->value(), 0, 'f', 1)
                             .arg(maximum->value(), 0, 'f', 1));
        problem->show();
        minimum->setFocus();
        return;
    }
    QDialog::accept();
}
