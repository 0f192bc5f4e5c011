#pragma once

#include <QLabel>

// A label that shows a value exactly as it came: from the device on the wire or
// as the operator typed it. Such a text is never markup, so it is shown as plain
// text. A value wider than the label is elided at its end when painted, and the
// tooltip then gives the whole of it; text() always holds the whole value.
//
// Assistive technology reads the value itself as the label's name, and an empty
// value as empty (a plain label without text would borrow the title of its
// group box). The label's accessible description says what the value is.
class ValueLabel : public QLabel {
    Q_OBJECT
public:
    explicit ValueLabel(QWidget* parent = nullptr);

    // True when the text does not fit and is painted elided.
    bool isElided() const;

protected:
    bool event(QEvent* event) override;
    void paintEvent(QPaintEvent* event) override;

private:
    QRect textArea() const;
};
