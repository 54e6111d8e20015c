// The main window's publisher services: the start-up news check and its hint,
// the News and Update buttons, and the hand-over to the updater.
#include <QTimer>
#include <QToolButton>

#include "app/f_main.h"
#include "app/f_news.h"
#include "app/html_view.h"
#include "app/message_hint.h"
#include "app/program_text.h"
#include "app/window_publisher_host.h"
#include "publisher/news_client.h"
#include "publisher/news_notification.h"
#include "publisher/publisher_texts.h"
#include "publisher/update_check.h"
#include "util/scope_guard.h"
#include "util/start_program.h"

namespace app {

namespace {

// While the publisher services' client serves a request, News and Update
// are disabled, so neither starts a second request on the busy client.
auto DisableWhilePublisherBusy(QWidget* news, QWidget* update) {
    news->setEnabled(false);
    update->setEnabled(false);
    return util::ScopeGuard([news, update] {
        news->setEnabled(true);
        update->setEnabled(true);
    });
}

}  // namespace

void TfrmMain::Timer1Timer() {
    // One check per arming.
    Timer1->stop();
    // The client serves one request at a time: a check that falls due
    // inside another request (the user's News or Update) comes a little later.
    // So does one that falls due during a search: run inside it, the check
    // would hold the search until the publisher's servers answer.
    if (IdHTTP1.busy() || searching_) {
        Timer1->start();
        return;
    }
    const auto busy = DisableWhilePublisherBusy(btnNews, btnUpdate);
    const publisher::NewsBrand brand = newsBrand();
    publisher::NewsClient news(IdHTTP1, *publisherHost_, brand);
    if (const auto hint = publisher::CheckLastNews(news, brand, settingsPath())) {
        ShowMessageHint(*hint);
    }
    // Closing the window during the news request ends the check with it.
    if (!isVisible()) {
        return;
    }
    publisher::CheckForUpdate(IdHTTP1, *publisherHost_, LiveUpdateBaseURL, true);
}

void TfrmMain::ShowMessageHint(const std::string& text) {
    const QPoint centre(btnNews->width() / 2, btnNews->height() / 2);
    // The title comes from the news server, in its code page.
    MessageHint* hint = MessageHint::showAt(DecodeWindows1252(text), btnNews->mapToGlobal(centre));
    // A click on the message asks for the news, as the button it points at
    // does; queued, so the news window's own loop does not run inside the
    // click's delivery.
    connect(hint, &MessageHint::clicked, btnNews, &QToolButton::click, Qt::QueuedConnection);
}

publisher::NewsBrand TfrmMain::newsBrand() const {
    const branding::BrandingSettings& s = BrandingSettings;
    return {.BranderType = s.BranderType,
            .BranderCode = s.BranderCode,
            .MasterPublID = s.MasterPublID,
            .PlatinumPublID = s.PlatinumPublID,
            .GoldPublID = s.GoldPublID,
            .MasterNewsBaseURL = s.MasterNewsBaseURL,
            .PlatinumNewsBaseURL = s.PlatinumNewsBaseURL,
            .GoldNewsBaseURL = s.GoldNewsBaseURL};
}

void TfrmMain::btnNewsClick() {
    const auto busy = DisableWhilePublisherBusy(btnNews, btnUpdate);
    NewsList.clear();
    const publisher::NewsBrand brand = newsBrand();
    publisher::NewsClient news(IdHTTP1, *publisherHost_, brand);
    bool fetched = false;
    if (const auto tier = publisher::ActiveNewsTier(brand)) {
        fetched = news.FetchNewsList(tier->publisherId, brand.BranderCode, tier->productType,
                                     std::string(publisher::kNewsTarget), NewsList);
    }
    // An unreachable server or an error reply has had its message; "no news"
    // after it would contradict it.
    if (!fetched && news.failureShown()) {
        return;
    }
    if (!fetched || NewsList.empty()) {
        msgMain_->show(MessageDialog::Kind::Information, std::string(publisher::texts::kNoNews),
                       MessageDialog::Buttons::Ok);
        return;
    }
    TfrmNews frmNews(NewsList, news, brand, settingsPath(), this);
    // The details' links start the browser as every other link does.
    if (auto* details = qobject_cast<HtmlView*>(frmNews.prfEditorNews)) {
        connect(details, &HtmlView::linkClicked, this,
                [this](const QString& url) { handler([this, url] { openPageLink(url); })(); });
    }
    frmNews.exec();
}

void TfrmMain::btnUpdateClick() {
    const auto busy = DisableWhilePublisherBusy(btnNews, btnUpdate);
    publisher::CheckForUpdate(IdHTTP1, *publisherHost_, LiveUpdateBaseURL, false);
}

void TfrmMain::startUpdater(const std::string& program, const std::vector<std::string>& args) {
    // The updater replaces the program's files, so the window must close:
    // the rows are given up before it starts, or it does not start.
    if (!mayDiscardRows()) {
        return;
    }
    util::StartProgram(program, args);
    discardConfirmed_ = true;
    close();
}
}  // namespace app
