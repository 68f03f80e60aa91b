#pragma once
// A window's control found by its object name, for the controls the frame keeps
// to itself (menu items, tool buttons): a missing one fails the test.

#include <gtest/gtest.h>

#include <QObject>

namespace dorvanta {

template <class T>
T* Named(const QObject& root, const char* name) {
    T* found = root.findChild<T*>(QString::fromLatin1(name));
    if (!found) ADD_FAILURE() << "no " << T::staticMetaObject.className() << " named " << name;
    return found;
}

}  // namespace dorvanta
