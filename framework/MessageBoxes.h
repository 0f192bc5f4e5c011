#pragma once

#include <QString>
#include <vector>

namespace fw {

enum class MsgButtons { Ok, OkCancel };
enum class MsgIcon { None, Error, Information, Warning };
enum class MsgResult { Ok, Cancel };

// Modal message boxes behind one interface, so that the program shows real
// boxes and tests can answer them without blocking.
class MessageBoxes {
public:
    virtual ~MessageBoxes() = default;
    // Shows the box and returns the button that closed it. A carriage return in
    // the text starts a new line.
    virtual MsgResult show(const QString& text, const QString& caption, MsgButtons buttons, MsgIcon icon) = 0;
};

// The boxes in use: QMessageBox unless a test installed its own.
MessageBoxes& messageBoxes();
// Installs `boxes` (not owned); nullptr restores the QMessageBox implementation.
void setMessageBoxes(MessageBoxes* boxes);

// Shorthand for messageBoxes().show(...).
MsgResult MessageBox(const QString& text, const QString& caption, MsgButtons buttons, MsgIcon icon);

// Real modal boxes. While one is open the application's idle handler is held
// back (Application.h); hand-offs from other threads are still served, because
// the box's own event loop processes them.
class QtMessageBoxes : public MessageBoxes {
public:
    MsgResult show(const QString& text, const QString& caption, MsgButtons buttons, MsgIcon icon) override;
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

    std::vector<Shown> shown;
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
