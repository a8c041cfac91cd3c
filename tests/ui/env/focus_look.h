// Focus as the keyboard gives it, and how it shows.
#pragma once

#include <Qt>

#include <string>

class QImage;
class QWidget;

namespace ornivox::uitest {

// Gives `w` the focus as Tab does; true once it has it (its window must be
// the active one).
bool FocusByTab(QWidget* w);

// How many of `w`'s pixels change from its look without the focus to its
// look with the focus Tab gives; it keeps that focus.
int PixelsMarkedByFocus(QWidget* w);

// Pixels that differ between two pictures of one size.
int DifferingPixels(const QImage& a, const QImage& b);

// The key's name, for a test's trace (QTest::toString hands over a copy
// the caller must free).
std::string KeyName(Qt::Key key);

}  // namespace ornivox::uitest
