#pragma once
// BusyCursor: the wait cursor for as long as the object lives: a scope's
// synchronous wait (a long folder operation of the tree), or a job the window
// waits for (a folder being read). Nests. GUI thread only.

#include <QCursor>
#include <QGuiApplication>

class BusyCursor {
public:
    BusyCursor() { QGuiApplication::setOverrideCursor(Qt::WaitCursor); }
    ~BusyCursor() { QGuiApplication::restoreOverrideCursor(); }
    BusyCursor(const BusyCursor &) = delete;
    BusyCursor &operator=(const BusyCursor &) = delete;
};
