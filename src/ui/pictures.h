// The window's own pictures, drawn at run time: the area status pictures and the eight frames of
// the scan animation.
#pragma once

#include <QPixmap>

namespace quorvane::ui {

/// The program's shield, for the window and the notification area; `on` false greys it (the
/// protection switched off).
QPixmap shieldPicture(bool on = true, int size = 64);

enum class AreaPicture { Pending, Threat, Clean };

QPixmap areaPicture(AreaPicture which, int size = 24);
/// Frame 0..7 of the animation an area shows while it is scanned.
QPixmap animationFrame(int frame, int size = 24);

} // namespace quorvane::ui
