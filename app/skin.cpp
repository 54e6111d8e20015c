#include "app/skin.h"

#include <zlib.h>
#include <QApplication>
#include <QFile>
#include <QImageReader>

#include <cstdio>
#include <filesystem>
#include <optional>

#include "app/svg_icon.h"

// The skin's pictures live in the library's resources, which a static
// library must register by hand; outside any namespace, as Qt requires.
static void InitSkinResources() {
    Q_INIT_RESOURCE(skin);
}

namespace app {

namespace {

// Calm and flat: light surfaces, one blue accent, rounded controls, and a
// clear focus ring, so every window looks like one program.
constexpr const char* kBuiltInSkin = R"(
QMainWindow, QDialog { background: #f4f6f9; }
QWidget { color: #1d2430; font-size: 10pt; }
QToolTip { color: #ffffff; background: #2b3342; border: none; padding: 4px 6px; }

QPushButton {
    background: #ffffff; border: 1px solid #c5ccd8; border-radius: 5px;
    padding: 4px 14px; min-height: 20px;
}
QPushButton:hover { background: #eef3fd; border-color: #8fb0ec; }
QPushButton:pressed { background: #dbe6fb; }
QPushButton:default { border: 1px solid #2f6fde; }
QPushButton:focus { border: 1px solid #2f6fde; }
QPushButton:disabled { color: #9aa3b2; background: #f1f3f6; }
QPushButton#btnExit { min-height: 0px; padding: 0px 8px; }

QToolButton { border: 1px solid transparent; border-radius: 5px; padding: 3px; }
QToolButton:hover { background: #e4ebf8; border-color: #c5d4f0; }
QToolButton:pressed { background: #d3e0f7; }

QLineEdit, QSpinBox, QComboBox {
    background: #ffffff; border: 1px solid #c5ccd8; border-radius: 4px;
    padding: 3px 6px; min-height: 20px; selection-background-color: #2f6fde;
}
QLineEdit:focus, QSpinBox:focus, QComboBox:focus { border: 1px solid #2f6fde; }
QSpinBox { padding-right: 18px; }
QSpinBox::up-button, QSpinBox::down-button {
    subcontrol-origin: border; width: 16px; border: none; border-left: 1px solid #dfe3ea;
    background: #f4f6f9;
}
QSpinBox::up-button { subcontrol-position: top right; border-top-right-radius: 4px; }
QSpinBox::down-button { subcontrol-position: bottom right; border-bottom-right-radius: 4px; }
QSpinBox::up-button:hover, QSpinBox::down-button:hover { background: #e4ebf8; }
QSpinBox::up-arrow { image: url(:/skin/arrow-up.png); width: 10px; height: 6px; }
QSpinBox::down-arrow { image: url(:/skin/arrow-down.png); width: 10px; height: 6px; }
QComboBox::drop-down {
    subcontrol-origin: padding; subcontrol-position: top right; width: 18px;
    border: none; border-left: 1px solid #dfe3ea;
}
QComboBox::down-arrow { image: url(:/skin/arrow-down.png); width: 10px; height: 6px; }
QComboBox QAbstractItemView {
    background: #ffffff; border: 1px solid #c5ccd8; selection-background-color: #2f6fde;
}

QTableView {
    background: #ffffff; alternate-background-color: #f7f9fc; border: 1px solid #d3d9e3;
    gridline-color: #e6eaf0; selection-background-color: #2f6fde;
    selection-color: #ffffff;
}
QHeaderView::section {
    background: #e9edf3; color: #3a4456; border: none;
    border-right: 1px solid #d3d9e3; border-bottom: 1px solid #d3d9e3;
    padding: 4px 6px; font-weight: 600;
}

QTextBrowser, QPlainTextEdit { background: #ffffff; border: 1px solid #d3d9e3; }
QPlainTextEdit#memAbout { background: transparent; border: none; }

QStatusBar { background: #e9edf3; border-top: 1px solid #d3d9e3; }
QStatusBar::item { border: none; }
QProgressBar {
    background: #ffffff; border: 1px solid #c5ccd8; border-radius: 4px;
    text-align: center; min-height: 14px;
}
QProgressBar::chunk { background: #2f6fde; border-radius: 3px; }

app--LinkLabel { color: #1d4fa8; }
app--LinkLabel:hover { color: #2f6fde; }

QScrollBar:vertical { background: #f1f3f6; width: 12px; margin: 0; }
QScrollBar::handle:vertical { background: #c5ccd8; border-radius: 5px; min-height: 24px; margin: 2px; }
QScrollBar:horizontal { background: #f1f3f6; height: 12px; margin: 0; }
QScrollBar::handle:horizontal { background: #c5ccd8; border-radius: 5px; min-width: 24px; margin: 2px; }
QScrollBar::add-line, QScrollBar::sub-line { width: 0; height: 0; }
)";

bool IsRegularFile(const std::string& path) {
    std::error_code error;
    return std::filesystem::is_regular_file(path, error);
}

// Inflates a skin as qCompress writes it (a 4-byte size, then a zlib
// stream), never producing more than kMaxSkinTextSize bytes: the size in
// front is only a claim, and a small file can inflate without end.
std::optional<QByteArray> Decompress(const QByteArray& packed) {
    constexpr int kSizeClaimBytes = 4;
    if (packed.size() <= kSizeClaimBytes) {
        return std::nullopt;
    }
    z_stream stream{};
    if (inflateInit(&stream) != Z_OK) {
        return std::nullopt;
    }
    QByteArray sheet(kMaxSkinTextSize, Qt::Uninitialized);
    stream.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(packed.data())) + kSizeClaimBytes;
    stream.avail_in = static_cast<uInt>(packed.size() - kSizeClaimBytes);
    stream.next_out = reinterpret_cast<Bytef*>(sheet.data());
    stream.avail_out = static_cast<uInt>(sheet.size());
    const int result = inflate(&stream, Z_FINISH);
    const auto produced = static_cast<qsizetype>(stream.total_out);
    inflateEnd(&stream);
    if (result != Z_STREAM_END) {
        return std::nullopt;
    }
    sheet.truncate(produced);
    return sheet;
}

}  // namespace

QString BuiltInSkin() {
    return QString::fromUtf8(kBuiltInSkin);
}

QIcon BuiltInIcon() {
    return SvgIcon(QStringLiteral(":/icons/zorvane.svg"));
}

void ApplyBuiltInSkin() {
    InitSkinResources();
    qApp->setStyleSheet(BuiltInSkin());
    QApplication::setWindowIcon(BuiltInIcon());
}

bool ApplySkinFile(const std::string& path) {
    if (!IsRegularFile(path)) {
        return false;
    }
    QFile file(QString::fromLocal8Bit(path.c_str()));
    if (file.size() > kMaxSkinFileSize || !file.open(QIODevice::ReadOnly)) {
        std::fprintf(stderr, "zorvane: skin not used, cannot read %s\n", path.c_str());
        return false;
    }
    const auto sheet = Decompress(file.read(kMaxSkinFileSize));
    if (!sheet) {
        std::fprintf(stderr, "zorvane: skin not used, %s is not a compressed style sheet\n",
                     path.c_str());
        return false;
    }
    qApp->setStyleSheet(QString::fromUtf8(*sheet));
    return true;
}

bool ApplyIconFile(const std::string& path) {
    if (!IsRegularFile(path)) {
        return false;
    }
    const QString name = QString::fromLocal8Bit(path.c_str());
    QImageReader reader(name);
    if (reader.read().isNull()) {
        std::fprintf(stderr, "zorvane: icon not used, %s holds no picture\n", path.c_str());
        return false;
    }
    QApplication::setWindowIcon(QIcon(name));
    return true;
}

}  // namespace app
