#include "app/window_search_host.h"

#include <QApplication>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QSpinBox>
#include <algorithm>
#include <climits>

#include "app/f_main.h"
#include "app/program_text.h"
#include "app/result_list_model.h"

namespace app {

namespace {

// The gauge counts in int; byte counts beyond that range are shown at its end.
int GaugeUnits(std::int64_t count) {
    return static_cast<int>(std::clamp<std::int64_t>(count, 0, INT_MAX));
}

}  // namespace

std::string WindowSearchHost::keyword() {
    return window_.edtKeyword->text().toLocal8Bit().toStdString();
}

double WindowSearchHost::maxItems() {
    return static_cast<double>(window_.speMaxNum->value());
}

std::string WindowSearchHost::siteText() {
    return window_.SiteText();
}

bool WindowSearchHost::stopRequested() {
    return window_.StopRequested;
}

void WindowSearchHost::setStopRequested(bool stop) {
    window_.StopRequested = stop;
}

std::size_t WindowSearchHost::rowCount() {
    return window_.results().rows().size();
}

void WindowSearchHost::appendRow(search::ResultRow row) {
    window_.results().appendRow(std::move(row));
}

void WindowSearchHost::clearRows() {
    window_.results().clear();
}

void WindowSearchHost::setMainStatus(const std::string& text) {
    window_.MainStatusPanel->setText(Decode(text));
}

void WindowSearchHost::setSecondStatus(const std::string& text) {
    window_.SecondStatusPanel->setText(Decode(text));
}

void WindowSearchHost::setGaugeMax(std::int64_t max) {
    window_.MainGauge->setMaximum(GaugeUnits(max));
}

std::int64_t WindowSearchHost::gaugeMax() {
    return window_.MainGauge->maximum();
}

void WindowSearchHost::setGaugeValue(std::int64_t value) {
    // A server may send more than it announced; the gauge then stays full
    // instead of ignoring a value beyond its range.
    window_.MainGauge->setValue(std::min(GaugeUnits(value), window_.MainGauge->maximum()));
}

void WindowSearchHost::processEvents() {
    QApplication::processEvents();
}

std::string WindowSearchHost::programFolder() {
    return window_.programFolder();
}

}  // namespace app
