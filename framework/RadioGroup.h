#pragma once

#include "Events.h"

#include <QStringList>
#include <QWidget>

class QButtonGroup;
class QGridLayout;

// A group of mutually exclusive radio buttons with an ItemIndex, laid out in
// columns. Selecting an item from code behaves exactly as an operator's click:
// when the selection changes, OnClick runs. So does checking a button by any
// other way (keyboard, accessibility, the button itself). An ItemIndex of -1
// selects nothing.
class TRadioGroup : public QWidget {
    Q_OBJECT
    Q_PROPERTY(QStringList Items READ Items WRITE setItems)
    Q_PROPERTY(int Columns READ Columns WRITE setColumns)
    Q_PROPERTY(int ItemIndex READ ItemIndex WRITE setItemIndex)

public:
    explicit TRadioGroup(QWidget* parent = nullptr);

    QStringList Items() const { return items_; }
    void setItems(const QStringList& items);

    int Columns() const { return columns_; }
    void setColumns(int columns);

    int ItemIndex() const { return itemIndex_; }
    void setItemIndex(int index);

    void setOnClick(TNotifyEvent handler) { onClick_ = std::move(handler); }

    // The radio button of item `index`, for tests and accessibility.
    QWidget* button(int index) const;

private:
    void rebuild();
    void select(int index);
    // Checks or clears a button without that counting as a selection of its own.
    void setButtonChecked(int index, bool checked);

    QStringList items_;
    int columns_ = 1;
    int itemIndex_ = -1;
    bool checkingFromHere_ = false;
    TNotifyEvent onClick_;
    QButtonGroup* group_;
    QGridLayout* layout_;
};
