// Writes animated GIF files from Qt images, for banner fixtures and the
// README's pictures: Qt reads GIF but cannot write it.
#pragma once

#include <QByteArray>
#include <QImage>
#include <QList>

namespace testsupport {

// Frames of one size, shown delayCentiseconds each, looping for ever. Colours
// are reduced to a 256-entry palette per frame.
QByteArray WriteAnimatedGif(const QList<QImage>& frames, int delayCentiseconds);

}  // namespace testsupport
