#include "framework/Application.h"
#include "framework/MessageBoxes.h"
#include "framework/QtMessageBoxes.h"

#include <QAbstractButton>
#include <QApplication>
#include <QDialog>
#include <QMessageBox>
#include <QtTest/QTest>
#include <QTimer>
#include <functional>
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

TEST(MessageBoxes, AWindowedProgramShowsRealBoxesAndOnlyTheyHoldBackTheIdleHandler)
{
    // Whether the idle handler is held back while `show` has a modal window up.
    auto modalOpenWhile = [](const std::function<void()>& show) {
        bool open = false;
        QTimer::singleShot(0, [&] {
            open = Application::instance().modalOpen();
            QApplication::activeModalWidget()->close();
        });
        show();
        return open;
    };
    useWidgetBoxes();
    EXPECT_NE(dynamic_cast<QtMessageBoxes*>(&messageBoxes()), nullptr);
    {
        ScopedRecordingMessageBoxes recorder;
        EXPECT_EQ(&messageBoxes(), &recorder) << "a test's recorder still goes first";
    }
    EXPECT_NE(dynamic_cast<QtMessageBoxes*>(&messageBoxes()), nullptr);
    EXPECT_TRUE(modalOpenWhile(
        [] { messageBoxes().show(QStringLiteral("waiting"), QStringLiteral("test"), MsgButtons::Ok, MsgIcon::None); }));
    EXPECT_FALSE(modalOpenWhile([] { QDialog().exec(); })) << "a dialog of the program's own leaves it running";

    setDefaultMessageBoxes(nullptr);
}

TEST(MessageBoxes, AQuestionDefaultsToNoAndWithoutAWindowIsAnsweredNo)
{
    QtMessageBoxes boxes;
    for (const MsgResult pressed : {MsgResult::No, MsgResult::Yes}) {
        QTimer::singleShot(0, [pressed] {
            auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
            if (pressed == MsgResult::Yes) box->button(QMessageBox::Yes)->click();
            else QTest::keyClick(box, Qt::Key_Return); // the default
        });
        EXPECT_EQ(boxes.show(QStringLiteral("Sure?"), {}, MsgButtons::YesNo, MsgIcon::Warning), pressed);
    }
    testing::internal::CaptureStderr();
    EXPECT_EQ(StderrMessageBoxes().show(QStringLiteral("Sure?"), {}, MsgButtons::YesNo, MsgIcon::None), MsgResult::No);
    testing::internal::GetCapturedStderr();
}
