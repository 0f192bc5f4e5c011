#pragma once

#include <functional>

class QObject;

// An optional callback that receives the object that raised it. Callers test it
// before each call: an event fires only when a handler is assigned.
using TNotifyEvent = std::function<void(QObject* Sender)>;

// The mouse button an event is about.
enum TMouseButton { mbLeft, mbRight, mbMiddle };

// The keys and mouse buttons held during a mouse event, as a set of these flags;
// ssDouble marks the press that completes a double click.
enum TShiftStateFlag : unsigned {
    ssShift = 1u << 0,
    ssAlt = 1u << 1,
    ssCtrl = 1u << 2,
    ssLeft = 1u << 3,
    ssRight = 1u << 4,
    ssMiddle = 1u << 5,
    ssDouble = 1u << 6,
};
using TShiftState = unsigned;

// A button went down or up at (X, Y), in the control's coordinates.
using TMouseEvent = std::function<void(QObject* Sender, TMouseButton Button, TShiftState Shift, int X, int Y)>;
// The mouse moved to (X, Y).
using TMouseMoveEvent = std::function<void(QObject* Sender, TShiftState Shift, int X, int Y)>;

// Where a drag stands over a control: it has just come in, it has left, or it
// moved within.
enum TDragState { dsDragEnter, dsDragLeave, dsDragMove };

// Source is dragged over the control at (X, Y); the handler sets Accept (false
// when called) to let Source be dropped there.
using TDragOverEvent = std::function<void(QObject* Sender, QObject* Source, int X, int Y, TDragState State, bool& Accept)>;
// Source was dropped on the control at (X, Y).
using TDragDropEvent = std::function<void(QObject* Sender, QObject* Source, int X, int Y)>;
// The drag of the control ended: dropped on Target at (X, Y) in Target's
// coordinates, or, with Target null, nowhere that accepted it.
using TEndDragEvent = std::function<void(QObject* Sender, QObject* Target, int X, int Y)>;
