#pragma once

#include <functional>

class QObject;

// An optional callback that receives the object that raised it. Callers test it
// before each call: an event fires only when a handler is assigned.
using TNotifyEvent = std::function<void(QObject* Sender)>;
