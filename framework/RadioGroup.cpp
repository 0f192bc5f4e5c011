#include "RadioGroup.h"

#include "Application.h"

#include <QButtonGroup>
#include <QGridLayout>
#include <QRadioButton>
#include <QScopedValueRollback>

TRadioGroup::TRadioGroup(QWidget* parent)
    : QWidget(parent)
    , group_(new QButtonGroup(this))
    , layout_(new QGridLayout(this))
{
    layout_->setContentsMargins(2, 0, 2, 0);
    layout_->setSpacing(0);
    group_->setExclusive(true);
    // Whatever checks a button selects its item: a click, an arrow key, the
    // accessible "Toggle" action that screen readers and UI automation use, or
    // code holding the button. Such a change is an event of its own: nothing it
    // throws may cross the event loop. A selection made through setItemIndex lets
    // its caller see a failure.
    connect(group_, &QButtonGroup::idToggled, this, [this](int id, bool checked) {
        if (checked && !checkingFromHere_) fw::invokeHandler([&] { select(id); });
    });
}

void TRadioGroup::setItems(const QStringList& items)
{
    items_ = items;
    if (itemIndex_ >= items_.size()) itemIndex_ = -1;
    rebuild();
}

void TRadioGroup::setColumns(int columns)
{
    columns_ = columns < 1 ? 1 : columns;
    rebuild();
}

void TRadioGroup::rebuild()
{
    for (QAbstractButton* button : group_->buttons()) {
        group_->removeButton(button);
        delete button;
    }
    // Items run down each column before the next one, as the columns were laid out.
    const int rows = columns_ > 0 ? (static_cast<int>(items_.size()) + columns_ - 1) / columns_ : 0;
    for (int i = 0; i < items_.size(); ++i) {
        auto* button = new QRadioButton(items_[i], this);
        button->setAccessibleName(items_[i]);
        group_->addButton(button, i);
        layout_->addWidget(button, rows ? i % rows : 0, rows ? i / rows : 0);
    }
    if (itemIndex_ >= 0) setButtonChecked(itemIndex_, true);
}

void TRadioGroup::setItemIndex(int index)
{
    if (index < -1 || index >= items_.size()) return;
    if (index == -1) {
        if (itemIndex_ == -1) return;
        // An exclusive group cannot uncheck its last button directly.
        group_->setExclusive(false);
        setButtonChecked(itemIndex_, false);
        group_->setExclusive(true);
        itemIndex_ = -1;
        return;
    }
    setButtonChecked(index, true);
    select(index);
}

void TRadioGroup::setButtonChecked(int index, bool checked)
{
    const QScopedValueRollback fromHere(checkingFromHere_, true);
    group_->button(index)->setChecked(checked);
}

void TRadioGroup::select(int index)
{
    if (index == itemIndex_) return;
    itemIndex_ = index;
    if (onClick_) onClick_(this);
}

QWidget* TRadioGroup::button(int index) const
{
    return group_->button(index);
}
