#pragma once

#include "framework/MessageBoxes.h"

#include <utility>
#include <vector>

class QMessageBox;

namespace fw {

// Real modal boxes. While one is open the application's idle handler is held
// back (Application.h); hand-offs from other threads are still served, because
// the box's own event loop processes them.
class QtMessageBoxes : public MessageBoxes {
public:
    MsgResult show(const QString& text, const QString& caption, MsgButtons buttons, MsgIcon icon) override;
    void close(const QString& text) override;

private:
    // The boxes on screen, innermost last, with the text each was asked to show.
    std::vector<std::pair<QMessageBox*, QString>> open_;
};

// Makes real boxes the program's default boxes. A windowed program calls it
// once at start-up.
void useWidgetBoxes();

} // namespace fw
