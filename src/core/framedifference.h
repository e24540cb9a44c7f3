#pragma once
// Where two composited frames of one picture differ: whether they are equal,
// and a mask of the pixels that differ. The frame inspector's "equals the
// previous frame" fact and its difference overlay both read it.
//
// Two pixels are equal when their ARGB values are, or when both are fully
// transparent (whatever colour a transparent pixel carries is never seen).
//
// Plain function; any thread; nothing throws but std::bad_alloc.

#include <QImage>
#include <QRect>

struct FrameDifference {
    bool equal = false;
    // The pictures' size, Format_MonoLSB: index 1 where the pixels differ.
    // Its colour table is {transparent, opaque white}; set another to paint it.
    // Null when the pictures differ in size (nothing in common to compare).
    QImage mask;
    QRect bounds; // around the pixels that differ; empty when equal
};

// Compares `picture` with `previous` (any formats; compared as ARGB32).
FrameDifference frameDifference(const QImage &picture, const QImage &previous);
