#pragma once

#include "transponder/AlarmModel.h"

#include <QDialog>
#include <optional>

class QCheckBox;
class QDoubleSpinBox;
class QLabel;

// Setup → Alarm Limits…: whether the supply voltage is watched, and between
// which limits. The limits are editable only while it is watched, and OK
// refuses a minimum above the maximum with a word on why, rather than guess
// which of the two the operator meant.
class AlarmLimitsDialog : public QDialog {
    Q_OBJECT
public:
    AlarmLimitsDialog(const std::optional<transponder::VoltageLimits>& limits, QWidget* parent = nullptr);

    // What the operator set: nothing when the voltage is not watched.
    std::optional<transponder::VoltageLimits> limits() const;
    void accept() override;

    QCheckBox* watch;
    QDoubleSpinBox* minimum;
    QDoubleSpinBox* maximum;
    QLabel* problem;
};
