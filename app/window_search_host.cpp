#include "app/window_search_host.h"

#include <QApplication>
#include <QEvent>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QSpinBox>
#include <algorithm>
#include <climits>
#include <utility>

#include "app/f_main.h"
#include "app/program_text.h"
#include "app/result_list_model.h"
#include "history/run_recorder.h"
#include "search/search_texts.h"

namespace app {

namespace {

// The gauge counts in int; byte counts beyond that range are shown at its end.
int GaugeUnits(std::int64_t count) {
    return static_cast<int>(std::clamp<std::int64_t>(count, 0, INT_MAX));
}

// What a user does to the window arrives as input or as a request to close
// it. The window's own handlers publish for themselves, however their signal
// came; Qt's own traffic (timers, queued calls, layout) is left alone, since
// publishing sets much of it off.
bool IsUserAction(const QEvent* event) {
    return event->isInputEvent() || event->type() == QEvent::Close;
}

}  // namespace

WindowSearchHost::Run::Run(WindowSearchHost& host) : host_(host) {
    host_.running_ = true;
    host_.lastPublish_ = host_.paintClock_();
    QCoreApplication::instance()->installEventFilter(&host_);
}

WindowSearchHost::Run::~Run() {
    QCoreApplication::instance()->removeEventFilter(&host_);
    host_.running_ = false;
    host_.publish();
}

void WindowSearchHost::publish() {
    lastPublish_ = paintClock_();
    // Taken out before the window sees any of it, so that nothing the insert
    // sets off finds them twice.
    std::vector<search::ResultRow> rows = std::exchange(heldRows_, {});
    const std::optional<std::string> mainStatus = std::exchange(heldMainStatus_, std::nullopt);
    const std::optional<std::string> secondStatus = std::exchange(heldSecondStatus_, std::nullopt);
    const bool gaugePaintHeld = std::exchange(gaugePaintHeld_, false);
    window_.results().appendRows(std::move(rows));
    if (mainStatus) {
        window_.MainStatusPanel->setText(Decode(*mainStatus));
    }
    if (secondStatus) {
        window_.SecondStatusPanel->setText(Decode(*secondStatus));
    }
    if (gaugePaintHeld) {
        window_.MainGauge->setUpdatesEnabled(true);
    }
}

bool WindowSearchHost::anythingHeld() const {
    return !heldRows_.empty() || heldMainStatus_ || heldSecondStatus_ || gaugePaintHeld_;
}

void WindowSearchHost::holdGaugePaint() {
    if (!gaugePaintHeld_) {
        gaugePaintHeld_ = true;
        window_.MainGauge->setUpdatesEnabled(false);
    }
}

std::string WindowSearchHost::keyword() {
    // The engines take the keyword form-encoded as UTF-8.
    return window_.edtKeyword->text().toUtf8().toStdString();
}

double WindowSearchHost::maxItems() {
    return static_cast<double>(window_.speMaxNum->value());
}

std::string WindowSearchHost::siteText() {
    return window_.siteText();
}

bool WindowSearchHost::stopRequested() {
    return window_.StopRequested;
}

void WindowSearchHost::setStopRequested(bool stop) {
    window_.StopRequested = stop;
}

std::size_t WindowSearchHost::rowCount() {
    return window_.results().rows().size() + heldRows_.size();
}

void WindowSearchHost::appendRow(search::ResultRow row) {
    if (history_ != nullptr) {
        history_->addRow(row);
    }
    if (holding()) {
        heldRows_.push_back(std::move(row));
        return;
    }
    publish();
    window_.results().appendRow(std::move(row));
}

void WindowSearchHost::clearRows() {
    heldRows_.clear();
    window_.results().clear();
}

void WindowSearchHost::setMainStatus(const std::string& text) {
    // A new request: every row of the page before has come.
    if (history_ != nullptr && text.starts_with(search::texts::kGettingUrl)) {
        history_->pageDone();
    }
    if (holding()) {
        heldMainStatus_ = text;
        return;
    }
    publish();
    window_.MainStatusPanel->setText(Decode(text));
}

void WindowSearchHost::setPageNotice(const std::string& text) {
    window_.PageNoticePanel->setText(Decode(text));
    window_.PageNoticePanel->setVisible(!text.empty());
}

void WindowSearchHost::setSecondStatus(const std::string& text) {
    if (holding()) {
        heldSecondStatus_ = text;
        return;
    }
    publish();
    window_.SecondStatusPanel->setText(Decode(text));
}

void WindowSearchHost::setGaugeMax(std::int64_t max) {
    if (holding()) {
        holdGaugePaint();
    } else {
        publish();
    }
    window_.MainGauge->setMaximum(GaugeUnits(max));
}

std::int64_t WindowSearchHost::gaugeMax() {
    return window_.MainGauge->maximum();
}

void WindowSearchHost::setGaugeValue(std::int64_t value) {
    if (holding()) {
        holdGaugePaint();
    } else {
        publish();
    }
    // A server may send more than it announced; the gauge then stays full
    // instead of ignoring a value beyond its range.
    window_.MainGauge->setValue(std::min(GaugeUnits(value), window_.MainGauge->maximum()));
}

void WindowSearchHost::processEvents() {
    if (holding() && anythingHeld() && paintClock_() - lastPublish_ >= kPaintInterval) {
        publish();
    }
    ++handlingMessages_;
    QApplication::processEvents();
    --handlingMessages_;
}

bool WindowSearchHost::eventFilter(QObject*, QEvent* event) {
    if (anythingHeld() && IsUserAction(event)) {
        publish();
    }
    return false;
}

}  // namespace app
