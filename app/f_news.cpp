#include "app/f_news.h"

#include <QCursor>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QItemSelectionModel>
#include <QPushButton>
#include <QSplitter>
#include <QTextBrowser>
#include <QTreeWidget>
#include <QVBoxLayout>
#include <array>
#include <functional>
#include <initializer_list>
#include <optional>
#include <utility>
#include <vector>

#include "app/html_view.h"
#include "app/program_text.h"
#include "app/zorvane_application.h"
#include "publisher/news_notification.h"
#include "util/split_by_char.h"

namespace app {

namespace {

constexpr int kExitWidth = 97;
constexpr int kExitHeight = 20;

// Windows-1252 from 0x80 to 0x9F; every other byte is its Latin-1 code point.
constexpr std::array<char16_t, 32> kHighControls = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0x008D, 0x017D, 0x008F, 0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178,
};

// The selection of lvwItems asks the window before every change, whoever
// asks for it: a click, a key, or code. Every path of the view and of
// QItemSelectionModel itself ends in this overload.
class AskingSelectionModel final : public QItemSelectionModel {
public:
    AskingSelectionModel(QAbstractItemModel* model, std::function<bool()> allowChange,
                         QObject* parent)
        : QItemSelectionModel(model, parent), allowChange_(std::move(allowChange)) {}

    using QItemSelectionModel::select;
    void select(const QItemSelection& selection, SelectionFlags command) override {
        if (allowChange_()) {
            QItemSelectionModel::select(selection, command);
        }
    }

private:
    std::function<bool()> allowChange_;
};

// The hourglass over the list, the view and the window while a details
// request runs, and the flag that holds the selection still; both are
// undone on every way out of the request, an exception included. The
// scroll areas' viewports carry the cursor the pointer shows over them.
class DetailsFetch {
public:
    DetailsFetch(bool& fetching, std::initializer_list<QWidget*> widgets) : fetching_(fetching) {
        fetching_ = true;
        for (QWidget* widget : widgets) {
            saved_.push_back({widget, widget->testAttribute(Qt::WA_SetCursor), widget->cursor()});
            widget->setCursor(Qt::WaitCursor);
        }
    }
    ~DetailsFetch() {
        for (const Saved& s : saved_) {
            if (s.own) {
                s.widget->setCursor(s.cursor);
            } else {
                s.widget->unsetCursor();
            }
        }
        fetching_ = false;
    }
    DetailsFetch(const DetailsFetch&) = delete;
    DetailsFetch& operator=(const DetailsFetch&) = delete;

private:
    struct Saved {
        QWidget* widget;
        bool own;
        QCursor cursor;
    };
    bool& fetching_;
    std::vector<Saved> saved_;
};

QString Field(const std::vector<std::string>& fields, std::size_t index) {
    return index < fields.size() ? DecodeWindows1252(fields[index]) : QString();
}

}  // namespace

QString DecodeWindows1252(std::string_view bytes) {
    QString text;
    text.reserve(static_cast<qsizetype>(bytes.size()));
    for (const char c : bytes) {
        const auto byte = static_cast<unsigned char>(c);
        text.append(byte >= 0x80 && byte <= 0x9F ? QChar(kHighControls[byte - 0x80])
                                                 : QChar(static_cast<char16_t>(byte)));
    }
    return text;
}

TfrmNews::TfrmNews(const std::vector<std::string>& NewsList, publisher::NewsClient& news,
                   publisher::NewsBrand brand, std::string settingsPath, QWidget* parent)
    : QDialog(parent),
      newsList_(NewsList),
      news_(news),
      brand_(std::move(brand)),
      settingsPath_(std::move(settingsPath)) {
    setObjectName(QStringLiteral("frmNews"));
    setWindowTitle(QStringLiteral("News"));
    setModal(true);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);

    panTop = new QWidget;
    panTop->setObjectName(QStringLiteral("panTop"));
    panTop->setMinimumHeight(kMinPanelSize);
    auto* topLayout = new QVBoxLayout(panTop);
    topLayout->setContentsMargins(0, 0, 0, 0);
    lvwItems = new QTreeWidget;
    lvwItems->setObjectName(QStringLiteral("lvwItems"));
    lvwItems->setColumnCount(2);
    lvwItems->setHeaderLabels({QStringLiteral("News Title"), QStringLiteral("Published")});
    lvwItems->setRootIsDecorated(false);
    lvwItems->setItemsExpandable(false);
    lvwItems->setUniformRowHeights(true);
    lvwItems->setSelectionMode(QAbstractItemView::SingleSelection);
    lvwItems->setSelectionBehavior(QAbstractItemView::SelectRows);
    lvwItems->setEditTriggers(QAbstractItemView::NoEditTriggers);
    lvwItems->setSortingEnabled(false);
    QHeaderView* header = lvwItems->header();
    header->setSectionsMovable(false);
    header->setStretchLastSection(false);
    header->setSectionResizeMode(0, QHeaderView::Stretch);
    header->setSectionResizeMode(1, QHeaderView::Interactive);
    header->resizeSection(1, kPublishedWidth);
    // The read item stays marked while the user reads the details below.
    QPalette listPalette = lvwItems->palette();
    for (const auto role : {QPalette::Highlight, QPalette::HighlightedText}) {
        listPalette.setColor(QPalette::Inactive, role, listPalette.color(QPalette::Active, role));
    }
    lvwItems->setPalette(listPalette);
    QItemSelectionModel* designed = lvwItems->selectionModel();
    auto* selection = new AskingSelectionModel(
        lvwItems->model(), [this] { return lvwItemsChanging(); }, this);
    lvwItems->setSelectionModel(selection);
    delete designed;
    topLayout->addWidget(lvwItems);

    // The details come from the news server: the page reads nothing from
    // the disk.
    prfEditorNews = new HtmlView;
    prfEditorNews->setObjectName(QStringLiteral("prfEditorNews"));
    prfEditorNews->setMinimumHeight(kMinPanelSize);

    splNews = new QSplitter(Qt::Vertical);
    splNews->setObjectName(QStringLiteral("splNews"));
    splNews->setHandleWidth(kSplitterHeight);
    splNews->setChildrenCollapsible(false);
    splNews->addWidget(panTop);
    splNews->addWidget(prfEditorNews);
    splNews->setStretchFactor(0, 0);
    splNews->setStretchFactor(1, 1);
    layout->addWidget(splNews, 1);

    panBottom = new QWidget;
    panBottom->setObjectName(QStringLiteral("panBottom"));
    panBottom->setFixedHeight(kBottomPanelHeight);
    auto* bottomLayout = new QHBoxLayout(panBottom);
    bottomLayout->setContentsMargins(0, 0, 0, 0);
    btnExit = new QPushButton(QStringLiteral("Close"));
    btnExit->setObjectName(QStringLiteral("btnExit"));
    btnExit->setFixedSize(kExitWidth, kExitHeight);
    bottomLayout->addWidget(btnExit, 0, Qt::AlignCenter);
    layout->addWidget(panBottom);

    connect(selection, &QItemSelectionModel::selectionChanged, this,
            Guarded(this, &TfrmNews::lvwItemsChange));
    connect(btnExit, &QPushButton::clicked, this, Guarded(this, &TfrmNews::btnExitClick));

    resize(kClientWidth, kClientHeight);
    const int viewHeight = kClientHeight - kBottomPanelHeight - kSplitterHeight - kTopPanelHeight;
    splNews->setSizes({kTopPanelHeight, viewHeight});
}

void TfrmNews::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    if (shown_) {
        return;
    }
    shown_ = true;
    CentreOnScreen(*this);
    FormShow();
}

void TfrmNews::FormShow() {
    for (const std::string& record : newsList_) {
        // A record cut short by the service shows its missing fields empty.
        const std::vector<std::string> fields = util::SplitByChar('^', record);
        auto* row = new QTreeWidgetItem({Field(fields, 1), Field(fields, 2)});
        row->setData(0, kNewsIdRole,
                     fields.empty() ? QByteArray() : QByteArray::fromStdString(fields[0]));
        lvwItems->addTopLevelItem(row);
    }
}

void TfrmNews::lvwItemsChange() {
    const QList<QTreeWidgetItem*> selected = lvwItems->selectedItems();
    if (selected.isEmpty()) {
        return;
    }
    const std::string newsId = selected.front()->data(0, kNewsIdRole).toByteArray().toStdString();
    const DetailsFetch fetch(FetchingDetails,
                             {this, lvwItems->viewport(), prfEditorNews->viewport()});
    const std::optional<publisher::NewsTier> tier = publisher::ActiveNewsTier(brand_);
    if (!tier) {
        return;
    }
    std::string html;
    if (news_.FetchNewsDetails(tier->publisherId, brand_.BranderCode, tier->productType,
                               std::string(publisher::kNewsTarget), newsId, html)) {
        prfEditorNews->setHtml(DecodeWindows1252(html));
        publisher::StoreLastNewsId(settingsPath_, newsId);
    }
}

bool TfrmNews::lvwItemsChanging() const {
    return !FetchingDetails;
}

void TfrmNews::btnExitClick() {
    accept();
}

}  // namespace app
