// Whether running fn raised the framework's exception of type E (thrown by pointer); the
// exception is released either way it is caught.
#pragma once

#include "platform/afx/Exceptions.h"

template <class E = CInvalidArgException, class Fn> bool Raises(Fn fn) {
    try {
        fn();
    } catch (E* e) {
        e->Delete();
        return true;
    }
    return false;
}

template <class Fn> bool RaisesInvalidArg(Fn fn) {
    return Raises<CInvalidArgException>(fn);
}
