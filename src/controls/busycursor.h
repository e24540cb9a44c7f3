#pragma once
// BusyCursor: the wait cursor for the length of a scope, for the synchronous
// waits of the GUI thread (a long folder operation of the tree). Nests. GUI
// thread only.

#include <QGuiApplication>

class BusyCursor {
public:
    BusyCursor() { QGuiApplication::setOverrideCursor(Qt::WaitCursor); }
    ~BusyCursor() { QGuiApplication::restoreOverrideCursor(); }
    BusyCursor(const BusyCursor &) = delete;
    BusyCursor &operator=(const BusyCursor &) = delete;
};
