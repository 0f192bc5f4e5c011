#include "framework/Application.h"
#include "framework/MessageBoxes.h"
#include "framework/QtMessageBoxes.h"

#include <QAbstractButton>
#include <QApplication>
#include <QDialog>
#include <QMessageBox>
#include <QtTest/QTest>
#include <QTimer>
#include <gtest/gtest.h>

using namespace fw;

TEST(MessageBoxes, WithoutAWindowABoxIsOneLineOnStderr)
{
    StderrMessageBoxes port(QStringLiteral("xpdrctl: COM3"));
    testing::internal::CaptureStderr();
    EXPECT_EQ(port.show(QStringLiteral("Device or resource\r\nbusy"), QStringLiteral("Error"), MsgButtons::OkCancel,
                        MsgIcon::Error),
              MsgResult::Ok);
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "xpdrctl: COM3: Device or resource busy\n");

    // With nothing installed, that is what every box becomes, named after the application.
    ASSERT_NE(dynamic_cast<StderrMessageBoxes*>(&messageBoxes()), nullptr);
    testing::internal::CaptureStderr();
    MessageBox(QStringLiteral("'x' is not a valid integer value"), QStringLiteral("Error"), MsgButtons::Ok,
               MsgIcon::Error);
    EXPECT_EQ(testing::internal::GetCapturedStderr(),
              Application::instance().title().toStdString() + ": 'x' is not a valid integer value\n");
}

TEST(MessageBoxes, AWindowedProgramShowsRealBoxesAndEveryModalWidgetHoldsBackTheIdleHandler)
{
    auto modalOpenDuringADialog = [] {
        bool open = false;
        QDialog dialog;
        QTimer::singleShot(0, &dialog, [&] {
            open = Application::instance().modalOpen();
            dialog.reject();
        });
        dialog.exec();
        return open;
    };
    EXPECT_FALSE(modalOpenDuringADialog()) << "the core alone knows only its own boxes";

    useWidgetBoxes();
    EXPECT_NE(dynamic_cast<QtMessageBoxes*>(&messageBoxes()), nullptr);
    {
        ScopedRecordingMessageBoxes recorder;
        EXPECT_EQ(&messageBoxes(), &recorder) << "a test's recorder still goes first";
    }
    EXPECT_NE(dynamic_cast<QtMessageBoxes*>(&messageBoxes()), nullptr);
    EXPECT_TRUE(modalOpenDuringADialog());

    setDefaultMessageBoxes(nullptr);
    Application::instance().setModalProbe({});
}

TEST(MessageBoxes, AQuestionDefaultsToNoAndWithoutAWindowIsAnsweredNo)
{
    QtMessageBoxes boxes;
    auto answer = [&](bool pressYes) {
        QTimer::singleShot(0, [pressYes] {
            auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
            ASSERT_NE(box, nullptr);
            if (pressYes)
                box->button(QMessageBox::Yes)->click();
            else
                QTest::keyClick(box, Qt::Key_Return);
        });
        return boxes.show(QStringLiteral("Sure?"), QStringLiteral("Question"), MsgButtons::YesNo, MsgIcon::Warning);
    };
    EXPECT_EQ(answer(false), MsgResult::No) << "Enter takes the default";
    EXPECT_EQ(answer(true), MsgResult::Yes);

    StderrMessageBoxes line(QStringLiteral("xpdrctl"));
    testing::internal::CaptureStderr();
    EXPECT_EQ(line.show(QStringLiteral("Sure?"), {}, MsgButtons::YesNo, MsgIcon::Warning), MsgResult::No);
    testing::internal::GetCapturedStderr();
}
