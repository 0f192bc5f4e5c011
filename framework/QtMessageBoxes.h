#pragma once

#include "framework/MessageBoxes.h"

namespace fw {

// Real modal boxes. While one is open the application's idle handler is held
// back (Application.h); hand-offs from other threads are still served, because
// the box's own event loop processes them.
class QtMessageBoxes : public MessageBoxes {
public:
    MsgResult show(const QString& text, const QString& caption, MsgButtons buttons, MsgIcon icon) override;
};

// Makes real boxes the program's default boxes. A windowed program calls it
// once at start-up.
void useWidgetBoxes();

} // namespace fw
