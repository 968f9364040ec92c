#pragma once

// The program's artwork, painted at run time so that no image files have to
// travel with the program.

#include <QIcon>
#include <QPixmap>

inline constexpr char kApplicationTitle[] = "Dravolux Soft Terminal";

// Window and tray icon.
QIcon MainIcon();
// The picture at the top of the splash window (393 x 200).
QPixmap SplashPixmap();
