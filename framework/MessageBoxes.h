#pragma once

#include <QString>
#include <vector>

namespace fw {

// Yes/No boxes ask before something that cannot be taken back: No is their default.
enum class MsgButtons { Ok, OkCancel, YesNo };
enum class MsgIcon { None, Error, Information, Warning };
enum class MsgResult { Ok, Cancel, Yes, No };

// Modal message boxes behind one interface. Whatever reports to the operator
// (the serial component's failures, the conversion errors of a handler) goes
// through it, so the same code shows real boxes in the window
// (framework/QtMessageBoxes.h), writes a line in a command-line program, and is
// answered without blocking in tests.
class MessageBoxes {
public:
    virtual ~MessageBoxes() = default;
    // Shows the box and returns the button that closed it. A carriage return in
    // the text starts a new line.
    virtual MsgResult show(const QString& text, const QString& caption, MsgButtons buttons, MsgIcon icon) = 0;
    // Closes a box still on screen that shows `text`, as OK would: a report
    // whose news is out of date (a lost link that is back) goes away by
    // itself. Boxes that answer at once have nothing open to close.
    virtual void close(const QString& text) { (void)text; }
};

// The boxes in use: those installed with setMessageBoxes(), else the program's
// default, else a line on stderr.
MessageBoxes& messageBoxes();
// Installs `boxes` (not owned) over the default; nullptr removes them.
void setMessageBoxes(MessageBoxes* boxes);
// The program's own boxes (not owned), used while nothing is installed over
// them: the window's real boxes, set once at start-up.
void setDefaultMessageBoxes(MessageBoxes* boxes);

// Shorthand for messageBoxes().show(...).
MsgResult MessageBox(const QString& text, const QString& caption, MsgButtons buttons, MsgIcon icon);
// Shorthand for messageBoxes().close(text).
void CloseMessageBox(const QString& text);

// Writes each box as one line on stderr, "<prefix>: <text>", and answers OK at
// once, or No to a question, since nobody is there to say yes: the boxes of a
// program without a display. With no prefix the
// application's title stands in front.
class StderrMessageBoxes : public MessageBoxes {
public:
    explicit StderrMessageBoxes(QString prefix = {});
    MsgResult show(const QString& text, const QString& caption, MsgButtons buttons, MsgIcon icon) override;

private:
    QString prefix_;
};

// Records every box and answers at once with `answer`.
class RecordingMessageBoxes : public MessageBoxes {
public:
    struct Shown {
        QString text;
        QString caption;
        MsgButtons buttons;
        MsgIcon icon;
    };

    MsgResult show(const QString& text, const QString& caption, MsgButtons buttons, MsgIcon icon) override;
    void close(const QString& text) override { closed.push_back(text); }

    std::vector<Shown> shown;
    // The texts close() was asked to take away.
    std::vector<QString> closed;
    MsgResult answer = MsgResult::Ok;
};

// Installs a recorder for the lifetime of the object and restores the previous
// boxes afterwards; convenient in tests.
class ScopedRecordingMessageBoxes : public RecordingMessageBoxes {
public:
    ScopedRecordingMessageBoxes();
    ~ScopedRecordingMessageBoxes() override;
    ScopedRecordingMessageBoxes(const ScopedRecordingMessageBoxes&) = delete;
    ScopedRecordingMessageBoxes& operator=(const ScopedRecordingMessageBoxes&) = delete;

private:
    MessageBoxes* previous_;
};

} // namespace fw
