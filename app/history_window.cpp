#include "app/history_window.h"

#include <QChart>
#include <QChartView>
#include <QCheckBox>
#include <QComboBox>
#include <QDateTime>
#include <QDateTimeAxis>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QLineSeries>
#include <QPen>
#include <QPushButton>
#include <QScatterSeries>
#include <QSplitter>
#include <QTableWidget>
#include <QVBoxLayout>
#include <QValueAxis>
#include <algorithm>
#include <filesystem>
#include <initializer_list>
#include <map>

#include "app/message_dialog.h"
#include "app/status_label.h"
#include "app/user_settings.h"
#include "app/window_texts.h"
#include "history/history_delete.h"
#include "history/keyword_overview.h"
#include "history/run_diff.h"
#include "history/url_domain.h"

namespace app {

namespace {

// A day either side of a keyword's only run, so that its point stands
// inside the chart.
constexpr qint64 kLonePointMarginMs = 24 * 60 * 60 * 1000;
// The position axis carries about this many labels, whatever its range.
constexpr int kPositionLabels = 10;

const QColor kUpColour(0x24, 0x91, 0x5a);
const QColor kDownColour(0xc0, 0x39, 0x2b);
const QColor kNewColour(0x1f, 0x55, 0xc4);
const QColor kLostColour(0x7f, 0x8c, 0x8d);

QString Text(const std::string& utf8) {
    return QString::fromUtf8(utf8.data(), static_cast<qsizetype>(utf8.size()));
}

// "2026-01-02T08:00:00Z" as "2026-01-02 08:00".
QString RunDate(const history::RunInfo& run) {
    return Text(run.started.substr(0, 16)).replace(u'T', u' ');
}

qint64 RunTime(const history::RunInfo& run) {
    return QDateTime::fromString(Text(run.started), Qt::ISODate).toMSecsSinceEpoch();
}

QColor MoveColour(history::Move move) {
    switch (move) {
        case history::Move::Up:
            return kUpColour;
        case history::Move::Down:
            return kDownColour;
        case history::Move::New:
            return kNewColour;
        case history::Move::Lost:
            return kLostColour;
    }
    return {};
}

QTableWidgetItem* Cell(const QString& text) {
    auto* item = new QTableWidgetItem(text);
    item->setFlags(Qt::ItemIsSelectable | Qt::ItemIsEnabled);
    return item;
}

QTableWidgetItem* MarkCell(const std::optional<history::DiffEntry>& move) {
    QTableWidgetItem* item = Cell(move ? Text(history::MoveMark(*move)) : QString());
    if (move) {
        item->setForeground(MoveColour(move->move));
    }
    return item;
}

// A domain's standing in the keyword list: its last position and its move
// since the run before.
QTableWidgetItem* StandingCell(const history::KeywordOverview& overview,
                               const history::DomainStanding& standing) {
    if (!overview.hasRunBefore) {
        return Cell(standing.last ? QString::number(*standing.last) : QString());
    }
    const std::optional<history::DiffEntry> move = history::MoveOf(standing.before, standing.last);
    QString text = standing.last ? QString::number(*standing.last) : QString();
    if (move) {
        const QString mark = Text(history::MoveMark(*move));
        text = standing.last
                   ? text + QStringLiteral(" (") + mark + u')'
                   : mark + QStringLiteral(" (was ") + QString::number(*standing.before) + u')';
    }
    QTableWidgetItem* item = Cell(text);
    if (move) {
        item->setForeground(MoveColour(move->move));
    }
    return item;
}

QTableWidget* ListTable(const QStringList& headers) {
    auto* table = new QTableWidget(0, static_cast<int>(headers.size()));
    table->setHorizontalHeaderLabels(headers);
    table->setSelectionBehavior(QAbstractItemView::SelectRows);
    table->setSelectionMode(QAbstractItemView::SingleSelection);
    table->setEditTriggers(QAbstractItemView::NoEditTriggers);
    table->verticalHeader()->hide();
    table->setWordWrap(false);
    return table;
}

// Whether two domains overlap: one is the other or lies below it.
bool Overlap(const std::string& a, const std::string& b) {
    return history::InDomain(a, b) || history::InDomain(b, a);
}

}  // namespace

HistoryWindow::HistoryWindow(std::string path, MessageDialog& dialog, QWidget* parent)
    : QWidget(parent, Qt::Window), path_(std::move(path)), dialog_(dialog) {
    setWindowTitle(QStringLiteral("History"));
    resize(1100, 700);

    edtDomains = new QLineEdit;
    edtDomains->setPlaceholderText(QStringLiteral("example.com, shop.example.org"));
    edtDomains->setToolTip(
        QStringLiteral("The domains to follow, each with its subdomains; without one the best "
                       "domains of the keyword are drawn"));
    chkCompetitors = new QCheckBox(QStringLiteral("Top competitors"));
    chkCompetitors->setToolTip(
        QStringLiteral("Also draw the three best other domains of the keyword"));
    auto* domainsBar = new QHBoxLayout;
    domainsBar->addWidget(new QLabel(QStringLiteral("Tracked domains:")));
    domainsBar->addWidget(edtDomains, 1);
    domainsBar->addWidget(chkCompetitors);

    tblKeywords =
        ListTable({QStringLiteral("Keyword"), QStringLiteral("Last run"), QStringLiteral("Runs")});
    tblKeywords->setSortingEnabled(false);

    chvPositions = new QChartView(new QChart);
    chvPositions->setRenderHint(QPainter::Antialiasing);
    chvPositions->setMinimumHeight(320);

    cbxRun = new QComboBox;
    lblBefore = new QLabel;
    lblAfter = new QLabel;
    const QStringList listHeaders{QStringLiteral("Pos"), QStringLiteral("URL"),
                                  QStringLiteral("Move")};
    tblBefore = ListTable(listHeaders);
    tblAfter = ListTable(listHeaders);
    for (QTableWidget* table : {tblBefore, tblAfter}) {
        table->horizontalHeader()->setSectionResizeMode(1, QHeaderView::Stretch);
    }
    const auto listColumn = [](QLabel* label, QTableWidget* table) {
        auto* column = new QWidget;
        auto* layout = new QVBoxLayout(column);
        layout->setContentsMargins(0, 0, 0, 0);
        layout->addWidget(label);
        layout->addWidget(table, 1);
        return column;
    };
    auto* lists = new QSplitter(Qt::Horizontal);
    lists->addWidget(listColumn(lblBefore, tblBefore));
    lists->addWidget(listColumn(lblAfter, tblAfter));
    auto* runPane = new QWidget;
    auto* runLayout = new QVBoxLayout(runPane);
    runLayout->setContentsMargins(0, 0, 0, 0);
    auto* runBar = new QHBoxLayout;
    runBar->addWidget(new QLabel(QStringLiteral("Run:")));
    runBar->addWidget(cbxRun, 1);
    runLayout->addLayout(runBar);
    runLayout->addWidget(lists, 1);

    auto* right = new QSplitter(Qt::Vertical);
    right->addWidget(chvPositions);
    right->addWidget(runPane);
    right->setSizes({460, 300});
    auto* panes = new QSplitter(Qt::Horizontal);
    panes->addWidget(tblKeywords);
    panes->addWidget(right);
    panes->setStretchFactor(1, 1);
    panes->setSizes({360, 840});

    btnDeleteRun = new QPushButton(QStringLiteral("Delete Run"));
    btnDeleteKeyword = new QPushButton(QStringLiteral("Delete Keyword"));
    btnDeleteAll = new QPushButton(QStringLiteral("Delete All"));
    lblStatus = new StatusLabel;
    auto* buttons = new QHBoxLayout;
    for (QPushButton* button : {btnDeleteRun, btnDeleteKeyword, btnDeleteAll}) {
        buttons->addWidget(button);
    }
    buttons->addWidget(lblStatus, 1);

    auto* layout = new QVBoxLayout(this);
    layout->addLayout(domainsBar);
    layout->addWidget(panes, 1);
    layout->addLayout(buttons);

    setDomains(ReadUserSettings().trackedDomains);
    connect(edtDomains, &QLineEdit::editingFinished, this,
            [this] { guarded([this] { edtDomainsEditingFinished(); }); });
    connect(chkCompetitors, &QCheckBox::toggled, this,
            [this] { guarded([this] { showKeyword(); }); });
    connect(tblKeywords, &QTableWidget::itemSelectionChanged, this,
            [this] { guarded([this] { showKeyword(); }); });
    connect(cbxRun, &QComboBox::currentIndexChanged, this,
            [this] { guarded([this] { showRun(); }); });
    connect(btnDeleteRun, &QPushButton::clicked, this,
            [this] { guarded([this] { btnDeleteRunClick(); }); });
    connect(btnDeleteKeyword, &QPushButton::clicked, this,
            [this] { guarded([this] { btnDeleteKeywordClick(); }); });
    connect(btnDeleteAll, &QPushButton::clicked, this,
            [this] { guarded([this] { btnDeleteAllClick(); }); });
}

HistoryWindow::~HistoryWindow() {
    // The controls outlive this part of the window and still send (the
    // domain box its editing's end when the focus leaves it), into members
    // that are gone.
    for (QObject* sender :
         std::initializer_list<QObject*>{edtDomains, chkCompetitors, tblKeywords, cbxRun,
                                         btnDeleteRun, btnDeleteKeyword, btnDeleteAll}) {
        disconnect(sender, nullptr, this, nullptr);
    }
}

void HistoryWindow::guarded(const std::function<void()>& work) {
    try {
        work();
    } catch (const std::exception& e) {
        store_.reset();
        lblStatus->setText(QString::fromLocal8Bit(e.what()));
    }
}

sqlite3* HistoryWindow::database() {
    if (!store_ && !path_.empty() && std::filesystem::exists(path_)) {
        store_ = std::make_unique<history::HistoryStore>(path_);
    }
    return store_ ? store_->db() : nullptr;
}

QChart* HistoryWindow::chart() const {
    return chvPositions->chart();
}

std::string HistoryWindow::selectedKeyword() const {
    const int row = tblKeywords->currentRow();
    return row >= 0 && row < static_cast<int>(keywords_.size()) ? keywords_[row] : std::string();
}

const history::RunInfo* HistoryWindow::selectedRun() const {
    const int index = cbxRun->currentData().isValid() ? cbxRun->currentData().toInt() : -1;
    return index >= 0 && index < static_cast<int>(runs_.size()) ? &runs_[index] : nullptr;
}

void HistoryWindow::refresh() {
    lblStatus->clear();
    guarded([this] {
        // The file may have been cleared, moved aside or made since.
        store_.reset();
        fillKeywords();
    });
}

void HistoryWindow::setDomains(const QStringList& domains) {
    domains_ = domains;
    edtDomains->setText(domains_.join(QStringLiteral(", ")));
}

void HistoryWindow::edtDomainsEditingFinished() {
    QStringList rejected;
    const QStringList domains = TrackedDomains(edtDomains->text(), &rejected);
    lblStatus->setText(rejected.isEmpty() ? QString()
                                          : Text(texts::DomainsLeftOut(
                                                rejected.join(QStringLiteral(", ")).toStdString(),
                                                static_cast<std::size_t>(kMaxTrackedDomains))));
    if (domains == domains_) {
        setDomains(domains);
        return;
    }
    setDomains(domains);
    WriteUserSettings({{settings_keys::kTrackedDomains, domains}});
    fillKeywords();
}

void HistoryWindow::fillKeywords() {
    const std::string shown = selectedKeyword();
    std::vector<std::string> domains;
    for (const QString& domain : domains_) {
        domains.push_back(domain.toStdString());
    }
    sqlite3* db = database();
    const std::vector<history::KeywordOverview> overviews =
        db != nullptr ? history::KeywordOverviews(db, domains)
                      : std::vector<history::KeywordOverview>();
    const QSignalBlocker quiet(tblKeywords);
    tblKeywords->clearContents();
    tblKeywords->setColumnCount(3 + static_cast<int>(domains_.size()));
    QStringList headers{QStringLiteral("Keyword"), QStringLiteral("Last run"),
                        QStringLiteral("Runs")};
    headers << domains_;
    tblKeywords->setHorizontalHeaderLabels(headers);
    tblKeywords->setRowCount(static_cast<int>(overviews.size()));
    keywords_.clear();
    int row = 0;
    for (const history::KeywordOverview& overview : overviews) {
        keywords_.push_back(overview.keyword);
        tblKeywords->setItem(row, 0, Cell(Text(overview.keyword)));
        tblKeywords->setItem(row, 1, Cell(RunDate(overview.lastRun)));
        tblKeywords->setItem(row, 2, Cell(QString::number(overview.runCount)));
        int column = 3;
        for (const history::DomainStanding& standing : overview.domains) {
            tblKeywords->setItem(row, column++, StandingCell(overview, standing));
        }
        ++row;
    }
    const auto again = std::find(keywords_.begin(), keywords_.end(), shown);
    tblKeywords->setCurrentCell(
        keywords_.empty()
            ? -1
            : static_cast<int>(again == keywords_.end() ? 0 : again - keywords_.begin()),
        0);
    tblKeywords->resizeColumnsToContents();
    btnDeleteAll->setEnabled(!keywords_.empty());
    if (db == nullptr || keywords_.empty()) {
        lblStatus->setText(QStringLiteral("No searches are kept in the history yet."));
    }
    showKeyword();
}

void HistoryWindow::showKeyword() {
    const std::string keyword = selectedKeyword();
    sqlite3* db = keyword.empty() ? nullptr : database();
    history::PositionTable table;
    std::vector<history::DomainPositions> competitors;
    if (db != nullptr) {
        history::PositionQuery query{.keyword = keyword};
        for (const QString& domain : domains_) {
            query.domains.push_back(domain.toStdString());
        }
        table = history::Positions(db, query);
        if (chkCompetitors->isChecked() || domains_.isEmpty()) {
            // Every site of the keyword, best first; the followed ones and
            // those they lie in or under are no competitors.
            for (history::DomainPositions& site :
                 history::Positions(db, {.keyword = keyword}).domains) {
                const bool followed = std::any_of(
                    query.domains.begin(), query.domains.end(),
                    [&site](const std::string& domain) { return Overlap(site.domain, domain); });
                if (!followed && competitors.size() < kCompetitors) {
                    competitors.push_back(std::move(site));
                }
            }
        }
    }
    runs_ = table.runs;
    btnDeleteKeyword->setEnabled(!runs_.empty());
    drawChart(table, competitors);

    const QSignalBlocker quiet(cbxRun);
    cbxRun->clear();
    for (int index = static_cast<int>(runs_.size()) - 1; index >= 0; --index) {
        const history::RunInfo& run = runs_[index];
        cbxRun->addItem(RunDate(run) + QStringLiteral(" - ") + QString::number(run.rowCount) +
                            QStringLiteral(" rows - ") + Text(run.outcome),
                        index);
    }
    showRun();
}

void HistoryWindow::drawChart(const history::PositionTable& table,
                              const std::vector<history::DomainPositions>& competitors) {
    // A new chart each time: axes taken off a chart leave their drawing behind.
    auto* chart = new QChart;
    std::unique_ptr<QChart> old(chvPositions->chart());
    chvPositions->setChart(chart);
    chart->setTitle(table.runs.empty() ? QString() : Text(table.runs.front().keyword));
    auto* best = new QScatterSeries;
    best->setName(QStringLiteral("Best position"));
    best->setMarkerSize(11);
    best->setPointLabelsFormat(QStringLiteral("@yPoint"));
    best->setPointLabelsVisible(true);
    // Position 1's label stands above the plot.
    best->setPointLabelsClipping(false);
    std::optional<std::int64_t> lowest;
    std::optional<std::int64_t> highest;
    const auto addLine = [&](const history::DomainPositions& line, bool competitor) {
        auto* series = new QLineSeries;
        series->setName(Text(line.domain));
        series->setPointsVisible(true);
        bool bestMarked = false;
        for (std::size_t run = 0; run < line.perRun.size(); ++run) {
            const std::optional<std::int64_t>& position = line.perRun[run];
            if (!position) {
                continue;
            }
            const QPointF point(static_cast<qreal>(RunTime(table.runs[run])),
                                static_cast<qreal>(*position));
            series->append(point);
            if (!bestMarked && position == line.best) {
                best->append(point);
                bestMarked = true;
            }
            lowest = std::min(lowest.value_or(*position), *position);
            highest = std::max(highest.value_or(*position), *position);
        }
        chart->addSeries(series);
        if (competitor) {
            QPen pen = series->pen();
            pen.setStyle(Qt::DashLine);
            series->setPen(pen);
        }
    };
    for (const history::DomainPositions& line : table.domains) {
        addLine(line, false);
    }
    for (const history::DomainPositions& line : competitors) {
        addLine(line, true);
    }
    chart->addSeries(best);

    auto* time = new QDateTimeAxis;
    time->setFormat(QStringLiteral("yyyy-MM-dd"));
    if (!table.runs.empty()) {
        const qint64 first = RunTime(table.runs.front());
        const qint64 last = RunTime(table.runs.back());
        const qint64 margin = first == last ? kLonePointMarginMs : 0;
        time->setRange(QDateTime::fromMSecsSinceEpoch(first - margin, Qt::UTC),
                       QDateTime::fromMSecsSinceEpoch(last + margin, Qt::UTC));
        time->setTickCount(std::clamp(static_cast<int>(table.runs.size()), 2, 6));
    }
    // Position 1 at the top, and only the positions that occur: a site
    // moving between 40 and 45 is not flattened against a scale from 1.
    auto* position = new QValueAxis;
    position->setReverse(true);
    position->setTitleText(QStringLiteral("Position"));
    position->setLabelFormat(QStringLiteral("%d"));
    const std::int64_t top = lowest.value_or(1);
    const std::int64_t bottom = highest.value_or(10);
    position->setRange(static_cast<qreal>(top) - 0.5, static_cast<qreal>(bottom) + 0.5);
    position->setTickType(QValueAxis::TicksDynamic);
    position->setTickAnchor(static_cast<qreal>(top));
    position->setTickInterval(static_cast<qreal>(
        std::max<std::int64_t>(1, (bottom - top + kPositionLabels) / kPositionLabels)));
    chart->addAxis(time, Qt::AlignBottom);
    chart->addAxis(position, Qt::AlignLeft);
    for (QAbstractSeries* series : chart->series()) {
        series->attachAxis(time);
        series->attachAxis(position);
    }
}

void HistoryWindow::showRun() {
    tblBefore->setRowCount(0);
    tblAfter->setRowCount(0);
    const history::RunInfo* run = selectedRun();
    btnDeleteRun->setEnabled(run != nullptr);
    lblAfter->setText(run ? QStringLiteral("This run: ") + RunDate(*run) : QString());
    lblBefore->clear();
    sqlite3* db = run != nullptr ? database() : nullptr;
    if (db == nullptr) {
        return;
    }
    const auto index = static_cast<std::size_t>(run - runs_.data());
    const std::vector<history::RunRow> after = history::RowsOf(db, run->id);
    std::vector<history::RunRow> before;
    if (index > 0) {
        before = history::RowsOf(db, runs_[index - 1].id);
        lblBefore->setText(QStringLiteral("Run before: ") + RunDate(runs_[index - 1]));
    } else {
        lblBefore->setText(QStringLiteral("No run before this one"));
    }
    // The moves by the position they are marked at in either list.
    std::map<std::int64_t, history::DiffEntry> atAfter;
    std::map<std::int64_t, history::DiffEntry> atBefore;
    if (index > 0) {
        for (history::DiffEntry& entry : history::DiffRuns(before, after)) {
            if (entry.after) {
                atAfter[*entry.after] = entry;
            } else if (entry.before) {
                atBefore[*entry.before] = entry;
            }
        }
    }
    const auto fill = [](QTableWidget* table, const std::vector<history::RunRow>& rows,
                         const std::map<std::int64_t, history::DiffEntry>& moves) {
        const int shown = std::min(static_cast<int>(rows.size()), kMaxComparedRows);
        table->setRowCount(shown);
        for (int row = 0; row < shown; ++row) {
            const history::RunRow& hit = rows[static_cast<std::size_t>(row)];
            table->setItem(row, 0, Cell(QString::number(hit.position)));
            table->setItem(row, 1, Cell(Text(hit.url)));
            const auto move = moves.find(hit.position);
            table->setItem(
                row, 2, MarkCell(move == moves.end() ? std::nullopt : std::optional(move->second)));
        }
    };
    fill(tblBefore, before, atBefore);
    fill(tblAfter, after, atAfter);
    if (static_cast<int>(after.size()) > kMaxComparedRows) {
        lblAfter->setText(lblAfter->text() + QStringLiteral(" (the first ") +
                          QString::number(kMaxComparedRows) + QStringLiteral(" of ") +
                          QString::number(after.size()) + QStringLiteral(" rows)"));
    }
}

void HistoryWindow::deleteAndRefresh(const std::function<void(sqlite3*)>& remove) {
    if (sqlite3* db = database()) {
        remove(db);
    }
    fillKeywords();
}

void HistoryWindow::btnDeleteRunClick() {
    const history::RunInfo* run = selectedRun();
    if (run == nullptr ||
        !dialog_.show(MessageDialog::Kind::Warning,
                      texts::ConfirmDeleteRun(run->keyword, RunDate(*run).toStdString()),
                      MessageDialog::Buttons::OkCancel)) {
        return;
    }
    const std::int64_t id = run->id;
    deleteAndRefresh([id](sqlite3* db) { history::DeleteRun(db, id); });
}

void HistoryWindow::btnDeleteKeywordClick() {
    const std::string keyword = selectedKeyword();
    if (keyword.empty() ||
        !dialog_.show(MessageDialog::Kind::Warning,
                      texts::ConfirmDeleteKeyword(keyword, static_cast<std::int64_t>(runs_.size())),
                      MessageDialog::Buttons::OkCancel)) {
        return;
    }
    deleteAndRefresh([&keyword](sqlite3* db) { history::DeleteKeyword(db, keyword); });
}

void HistoryWindow::btnDeleteAllClick() {
    if (!dialog_.show(MessageDialog::Kind::Warning, texts::kConfirmClearHistory,
                      MessageDialog::Buttons::OkCancel)) {
        return;
    }
    deleteAndRefresh([](sqlite3* db) { history::DeleteAllRuns(db); });
}

}  // namespace app
