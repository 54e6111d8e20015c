// What the window remembers for its user between runs (the search bar, the
// window's place and columns, the export folder, whether closing asks), in
// an INI file in the program's configuration folder for its user
// (util::UserConfigFolder) through QSettings. Never beside the program: an
// installed copy's folder belongs to no one user and is not writable.
#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <QVariant>
#include <initializer_list>
#include <optional>
#include <utility>
#include <vector>

namespace app {

// Our own file holds a few short lines. Anything larger is not ours to read
// whole at every start.
inline constexpr qint64 kMaxUserSettingsBytes = 64 * 1024;

// The keys of the file.
namespace settings_keys {
inline constexpr const char* kKeyword = "search/keyword";
inline constexpr const char* kMaxItems = "search/maxItems";
inline constexpr const char* kSite = "search/site";
// The language and region engine profiles fill in for {lang} and {region};
// set by editing the file (the window has no options dialog).
inline constexpr const char* kLanguage = "search/language";
inline constexpr const char* kRegion = "search/region";
inline constexpr const char* kGeometry = "window/geometry";
inline constexpr const char* kColumnWidths = "window/columnWidths";
inline constexpr const char* kExportFolder = "export/folder";
inline constexpr const char* kCloseWithoutAsking = "close/discardWithoutAsking";
inline constexpr const char* kKeepHistory = "history/keep";
inline constexpr const char* kTrackedDomains = "history/trackedDomains";
}  // namespace settings_keys

// What earlier runs left, each part only when it is there and usable.
struct RememberedSettings {
    std::optional<QString> keyword;
    std::optional<int> maxItems;
    std::optional<QString> site;  // the site line's text
    // Empty: none (each profile's default); a value search::LocaleValueFault
    // refuses counts as none.
    QString language;
    QString region;
    QByteArray geometry;            // QWidget::saveGeometry; empty: none
    std::vector<int> columnWidths;  // one per grid column, or empty
    QString exportFolder;           // empty: none yet
    bool closeWithoutAsking = false;
    // Every Search is kept in the rank history unless the user said no.
    bool keepHistory = true;
    // The domains the History window follows, as TrackedDomains keeps them.
    QStringList trackedDomains;
};

// The History window draws a line and a column per followed domain; beyond
// this many neither can be told apart.
inline constexpr qsizetype kMaxTrackedDomains = 8;

// The domains in text (separated by blanks or commas), in lower case, each
// once, without a public suffix ("co.uk": every site below it) or a name
// longer than a host name may be; at most kMaxTrackedDomains. rejected
// receives what was left out.
QStringList TrackedDomains(const QString& text, QStringList* rejected = nullptr);

// The full path of the settings file, <configuration folder>zorvane.ini;
// empty when the user has no configuration folder (nothing is then read or
// written).
QString UserSettingsPath();

// Where earlier versions kept the file: <configuration home>Zorvane/zorvane.ini,
// a folder of its own beside the one of engines.json. Empty like
// UserSettingsPath.
QString OldUserSettingsPath();

// Reads the settings; while the file is not there yet, those an earlier
// version left in OldUserSettingsPath. A file that cannot be read, is
// damaged or is larger than kMaxUserSettingsBytes counts as none at all, so
// the window starts as designed; a value of the wrong kind counts as missing.
RememberedSettings ReadUserSettings();

// Stores values under their keys and keeps the rest; the first store puts
// the old file's settings in the new file first, and leaves the old file as
// it is (an earlier version run again still finds it). A file that reading
// would ignore is replaced by one holding these values alone. Failures to
// write are not reported: the settings are a convenience, and the window
// works without them.
void WriteUserSettings(std::initializer_list<std::pair<const char*, QVariant>> values);

}  // namespace app
