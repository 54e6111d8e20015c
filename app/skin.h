// The look of every window: the built-in style sheet and icon, and a brand's
// own mainskin.dat and main.ico in their place.
#pragma once

#include <QIcon>
#include <QString>
#include <string>

namespace app {

// Largest skin file read: a style sheet is a few KiB, and a bigger file is
// not a skin.
inline constexpr qint64 kMaxSkinFileSize = qint64{4} << 20;
// Largest style sheet a skin file may inflate to, for the same reason.
inline constexpr qsizetype kMaxSkinTextSize = qsizetype{4} << 20;

// The style sheet every window is drawn with unless a brand gives its own.
QString BuiltInSkin();

// The application's own icon, drawn at every size a desktop asks for.
QIcon BuiltInIcon();

// Puts the built-in style sheet and icon on the whole application.
void ApplyBuiltInSkin();

// Reads a skin file (a style sheet compressed as qCompress writes it, UTF-8)
// and makes it the style sheet of every window. A file that is missing,
// not a regular file, too large or does not decompress changes nothing.
// True when the skin was applied.
bool ApplySkinFile(const std::string& path);

// Makes the icon file the application's icon (windows and task bar). A file
// that is missing or holds no picture changes nothing. True when applied.
bool ApplyIconFile(const std::string& path);

}  // namespace app
