#include "app/user_settings.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QSettings>
#include <memory>
#include <string>

#include "history/url_domain.h"
#include "search/profiles/profile_locale.h"
#include "util/config_folder.h"

namespace app {

namespace {

// A column narrower than this can no longer be grabbed to widen it again;
// one wider than this is no width a screen shows.
constexpr int kMinColumnWidth = 16;
constexpr int kMaxColumnWidth = 10000;
// The grid has a handful of columns; a longer list is not one of ours.
constexpr qsizetype kMaxColumns = 16;

std::unique_ptr<QSettings> OpenSettings(const QString& path) {
    return std::make_unique<QSettings>(path, QSettings::IniFormat);
}

QString FromLocalPath(const std::string& path) {
    return QFile::decodeName(QByteArray::fromStdString(path));
}

// A missing file is fine (nothing remembered yet); something else in its
// place, or a file far larger than ours ever gets, is not read at all.
bool FitToRead(const QString& path) {
    const QFileInfo info(path);
    return !info.exists() || (info.isFile() && info.size() <= kMaxUserSettingsBytes);
}

// The file to read: the old one only while the new one is not there.
QString PathToRead() {
    const QString path = UserSettingsPath();
    if (path.isEmpty() || QFileInfo::exists(path)) {
        return path;
    }
    const QString old = OldUserSettingsPath();
    return QFileInfo(old).isFile() ? old : path;
}

std::optional<QString> Text(const QVariant& value) {
    if (value.typeId() != QMetaType::QString) {
        return std::nullopt;
    }
    return value.toString();
}

std::optional<bool> Flag(const QVariant& value) {
    if (value.typeId() == QMetaType::Bool) {
        return value.toBool();
    }
    const std::optional<QString> text = Text(value);
    if (text == QStringLiteral("true")) {
        return true;
    }
    if (text == QStringLiteral("false")) {
        return false;
    }
    return std::nullopt;
}

// Read from the file a number is text; a value this process stored is
// still the number it was.
std::optional<int> Count(const QVariant& value) {
    bool ok = false;
    int count = 0;
    if (value.typeId() == QMetaType::Int) {
        count = value.toInt(&ok);
    } else if (const std::optional<QString> text = Text(value)) {
        count = text->toInt(&ok);
    }
    if (!ok || count < 0) {
        return std::nullopt;
    }
    return count;
}

// A language or region as profiles may send it; anything else is none.
QString LocaleText(const QVariant& value) {
    const std::optional<QString> text = Text(value);
    if (!text || !search::LocaleValueFault(text->toStdString()).empty()) {
        return {};
    }
    return *text;
}

std::vector<int> ColumnWidths(const QVariant& value) {
    if (value.typeId() != QMetaType::QStringList) {
        return {};
    }
    const QStringList texts = value.toStringList();
    if (texts.size() > kMaxColumns) {
        return {};
    }
    std::vector<int> widths;
    for (const QString& text : texts) {
        bool ok = false;
        const int width = text.trimmed().toInt(&ok);
        if (!ok || width < kMinColumnWidth || width > kMaxColumnWidth) {
            return {};
        }
        widths.push_back(width);
    }
    return widths;
}

// The longest name DNS carries.
constexpr qsizetype kMaxDomainChars = 253;

}  // namespace

QStringList TrackedDomains(const QString& text, QStringList* rejected) {
    static const QRegularExpression kSeparators(QStringLiteral("[\\s,]+"));
    QStringList domains;
    for (const QString& word : text.split(kSeparators, Qt::SkipEmptyParts)) {
        const QString domain = word.toLower();
        const bool usable = domain.size() <= kMaxDomainChars && !domains.contains(domain) &&
                            domains.size() < kMaxTrackedDomains &&
                            !history::IsPublicSuffix(domain.toStdString());
        if (usable) {
            domains << domain;
        } else if (rejected != nullptr && !domains.contains(domain)) {
            *rejected << word;
        }
    }
    return domains;
}

QString UserSettingsPath() {
    const std::string folder = util::UserConfigFolder();
    return folder.empty() ? QString() : FromLocalPath(folder + "zorvane.ini");
}

QString OldUserSettingsPath() {
    const std::string home = util::ConfigHome();
    return home.empty() ? QString() : FromLocalPath(home + "Zorvane/zorvane.ini");
}

RememberedSettings ReadUserSettings() {
    const QString path = PathToRead();
    if (path.isEmpty() || !FitToRead(path)) {
        return {};
    }
    const std::unique_ptr<QSettings> settings = OpenSettings(path);
    namespace keys = settings_keys;
    const auto value = [&settings](const char* key) {
        return settings->value(QString::fromLatin1(key));
    };
    RememberedSettings remembered{
        .keyword = Text(value(keys::kKeyword)),
        .maxItems = Count(value(keys::kMaxItems)),
        .site = Text(value(keys::kSite)),
        .language = LocaleText(value(keys::kLanguage)),
        .region = LocaleText(value(keys::kRegion)),
        .geometry = value(keys::kGeometry).typeId() == QMetaType::QByteArray
                        ? value(keys::kGeometry).toByteArray()
                        : QByteArray(),
        .columnWidths = ColumnWidths(value(keys::kColumnWidths)),
        .exportFolder = Text(value(keys::kExportFolder)).value_or(QString()),
        .closeWithoutAsking = Flag(value(keys::kCloseWithoutAsking)).value_or(false),
        .keepHistory = Flag(value(keys::kKeepHistory)).value_or(true),
        .trackedDomains =
            TrackedDomains(Text(value(keys::kTrackedDomains))
                               .value_or(value(keys::kTrackedDomains).toStringList().join(u' '))),
    };
    // Values read before a line that does not parse may be half of what was
    // meant; none of them is trusted.
    if (settings->status() != QSettings::NoError) {
        return {};
    }
    return remembered;
}

void WriteUserSettings(std::initializer_list<std::pair<const char*, QVariant>> values) {
    const QString path = UserSettingsPath();
    if (path.isEmpty()) {
        return;
    }
    if (const QString old = PathToRead(); old != path && FitToRead(old)) {
        QDir().mkpath(QFileInfo(path).absolutePath());
        QFile::copy(old, path);
    }
    std::unique_ptr<QSettings> settings = OpenSettings(path);
    bool ignored = !FitToRead(path);
    if (!ignored) {
        // Reading is what finds a damaged file.
        settings->allKeys();
        ignored = settings->status() != QSettings::NoError;
    }
    if (ignored) {
        settings.reset();
        QFile::remove(path);
        settings = OpenSettings(path);
    }
    for (const auto& [key, value] : values) {
        settings->setValue(QString::fromLatin1(key), value);
    }
    settings->sync();
}

}  // namespace app
