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
