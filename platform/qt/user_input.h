#pragma once
// The events by which a user acts on a window's controls, for the filters that keep them from a
// window for a while (one below an open child, one waiting out a handler's fixed wait).

#include <QEvent>

namespace veskator {

inline bool isUserAction(QEvent::Type type) {
    switch (type) {
        case QEvent::MouseButtonPress:
        case QEvent::MouseButtonRelease:
        case QEvent::MouseButtonDblClick:
        case QEvent::Wheel:
        case QEvent::KeyPress:
        case QEvent::KeyRelease:
            return true;
        default:
            return false;
    }
}

}  // namespace veskator
