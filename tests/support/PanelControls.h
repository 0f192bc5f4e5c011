#pragma once

// The main window's controls by their names in the stored layout, for the
// window tests and the end-to-end tests alike.

#include "app/uavMain.h"

#include <QAbstractButton>
#include <QLabel>
#include <QtTest/QTest>
#include <gtest/gtest.h>

#include <memory>

class PanelControls : public ::testing::Test {
public:
    template <class T = QWidget>
    T* find(const char* name) const
    {
        T* widget = form->findChild<T*>(QString::fromLatin1(name));
        EXPECT_NE(widget, nullptr) << name;
        return widget;
    }
    QString textOf(const char* label) const { return find<QLabel>(label)->text(); }
    void click(const char* button) { QTest::mouseClick(find<QAbstractButton>(button), Qt::LeftButton); }

    std::unique_ptr<TForm1> form;
};
