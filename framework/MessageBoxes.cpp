#include "MessageBoxes.h"

#include "Application.h"

#include <cstdio>

namespace fw {

namespace {

MessageBoxes* installed = nullptr;
MessageBoxes* programDefault = nullptr;

StderrMessageBoxes& lines()
{
    static StderrMessageBoxes boxes;
    return boxes;
}

} // namespace

MessageBoxes& messageBoxes()
{
    if (installed) return *installed;
    if (programDefault) return *programDefault;
    return lines();
}

void setMessageBoxes(MessageBoxes* boxes)
{
    installed = boxes;
}

void setDefaultMessageBoxes(MessageBoxes* boxes)
{
    programDefault = boxes;
}

MsgResult MessageBox(const QString& text, const QString& caption, MsgButtons buttons, MsgIcon icon)
{
    return messageBoxes().show(text, caption, buttons, icon);
}

void CloseMessageBox(const QString& text)
{
    messageBoxes().close(text);
}

StderrMessageBoxes::StderrMessageBoxes(QString prefix)
    : prefix_(std::move(prefix))
{
}

MsgResult StderrMessageBoxes::show(const QString& text, const QString&, MsgButtons buttons, MsgIcon)
{
    // One line per box, so that a script reading stderr sees one line per failure.
    QString line = text.simplified();
    const QString prefix = prefix_.isEmpty() ? Application::instance().title() : prefix_;
    line = prefix + QStringLiteral(": ") + line + u'\n';
    std::fputs(line.toLocal8Bit().constData(), stderr);
    std::fflush(stderr);
    return buttons == MsgButtons::YesNo ? MsgResult::No : MsgResult::Ok;
}

MsgResult RecordingMessageBoxes::show(const QString& text, const QString& caption, MsgButtons buttons, MsgIcon icon)
{
    shown.push_back({text, caption, buttons, icon});
    return answer;
}

ScopedRecordingMessageBoxes::ScopedRecordingMessageBoxes()
    : previous_(installed)
{
    setMessageBoxes(this);
}

ScopedRecordingMessageBoxes::~ScopedRecordingMessageBoxes()
{
    setMessageBoxes(previous_);
}

} // namespace fw
