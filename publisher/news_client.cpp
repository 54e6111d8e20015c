#include "publisher/news_client.h"

#include <exception>

#include "net/form_data_body.h"
#include "publisher/news_id.h"
#include "publisher/publisher_texts.h"
#include "util/ascii.h"
#include "util/decode_dollar_hex.h"
#include "util/split_by_char.h"

namespace publisher {
namespace {

// The service separates records with the byte 0xAF ("¯" in the 8-bit texts)
// and closes every success reply with it and "OK".
constexpr char kRecordSeparator = '\xAF';
constexpr std::string_view kReplyEnd = "\xAFOK";
constexpr char kFieldSeparator = '^';

const std::string kEmpty;
const std::string kListContent = "all";
const std::string kLastContent = "lastcode";

std::string WithoutAll(std::string_view text, std::string_view what) {
    std::string out;
    std::size_t from = 0;
    for (std::size_t at; (at = text.find(what, from)) != std::string_view::npos;
         from = at + what.size()) {
        out.append(text, from, at - from);
    }
    out.append(text.substr(from));
    return out;
}

}  // namespace

// NUL is one of the control bytes trimmed.
std::string NewsReplyText(std::string_view rawReply) {
    static constexpr char kBlankAndControl[] =
        "\x00\x01\x02\x03\x04\x05\x06\x07\x08\x09\x0a\x0b\x0c\x0d\x0e\x0f"
        "\x10\x11\x12\x13\x14\x15\x16\x17\x18\x19\x1a\x1b\x1c\x1d\x1e\x1f\x20";
    return std::string(util::Trim(rawReply, std::string_view(kBlankAndControl, 33)));
}

bool IsNewsSuccess(std::string_view reply) {
    return reply.find("OK") != std::string_view::npos;
}

namespace {

// A record is an id and a title, then its publication date (which the
// service may leave off); an id that is no news id makes it no record.
bool IsNewsRecord(std::string_view record) {
    const std::vector<std::string> fields = util::SplitByChar(kFieldSeparator, record);
    return fields.size() >= 2 && ParseNewsId(fields[0]);
}

}  // namespace

std::vector<std::string> NewsListRecords(std::string_view reply) {
    std::vector<std::string> records;
    for (std::string& piece : util::SplitByChar(kRecordSeparator, reply)) {
        if (!piece.empty() && piece != "OK" && IsNewsRecord(piece)) {
            records.push_back(std::move(piece));
        }
    }
    return records;
}

std::optional<LastNewsItem> LastNewsItemOf(std::string_view reply) {
    const std::string item = WithoutAll(reply, kReplyEnd);
    if (item == "OK") {
        return std::nullopt;
    }
    std::vector<std::string> fields = util::SplitByChar(kFieldSeparator, item);
    // The service always sends an id and a title; anything less, or an id
    // that is no news id (an error page that merely holds "OK"), is read as
    // "no news" rather than as an item with made-up parts.
    if (fields.size() < 2 || !ParseNewsId(fields[0])) {
        return std::nullopt;
    }
    return LastNewsItem{.id = std::move(fields[0]), .title = std::move(fields[1])};
}

std::string NewsDetailsHtml(std::string_view reply) {
    return util::DecodeDollarHex(WithoutAll(reply, kReplyEnd));
}

NewsError NewsErrorOf(std::string_view reply) {
    if (reply.empty()) {
        return NewsError::NoReply;
    }
    if (reply == "CONNECTIONFAIL") {
        return NewsError::ConnectionFail;
    }
    if (reply == "INVALIDUSER") {
        return NewsError::InvalidUser;
    }
    if (reply == "INVALIDPRODUCT") {
        return NewsError::InvalidProduct;
    }
    if (reply == "INVALIDNEWS") {
        return NewsError::InvalidNews;
    }
    return NewsError::Unknown;
}

std::string_view NewsErrorText(NewsError error) {
    switch (error) {
        case NewsError::NoReply:
            return texts::kNoReply;
        case NewsError::ConnectionFail:
            return texts::kConnectionFail;
        case NewsError::InvalidUser:
            return texts::kInvalidUser;
        case NewsError::InvalidProduct:
            return texts::kInvalidProduct;
        case NewsError::InvalidNews:
            return texts::kInvalidNews;
        case NewsError::Unknown:
            break;
    }
    return {};
}

std::string NewsDocumentUrl(std::string_view baseUrl, std::string_view document) {
    std::string url(baseUrl);
    if (url.empty() || url.back() != '/') {
        url += '/';
    }
    url += document;
    return url;
}

NewsClient::NewsClient(net::HttpClient& http, PublisherHost& host, NewsBrand brand)
    : http_(http), host_(host), brand_(std::move(brand)) {}

std::string NewsClient::post(const std::string& prodType, std::string_view document,
                             const std::vector<Field>& fields) {
    failureShown_ = false;
    const std::string baseUrl = NewsBaseUrl(brand_, prodType);
    // Without a base URL the request would go to a bare path that names no
    // server; that is a failed request like any other.
    if (baseUrl.empty()) {
        return {};
    }
    net::FormDataBody body;
    for (const Field& field : fields) {
        body.AddField(std::string(field.name), field.value);
    }
    try {
        return NewsReplyText(http_.PostForm(NewsDocumentUrl(baseUrl, document), body));
    } catch (const std::exception&) {
        // Every failure of the POST reads as an empty reply, whose message
        // the caller shows; the client's own failure text is not for the user.
        return {};
    }
}

void NewsClient::report(NewsError error, bool invalidNewsShown) {
    if (error == NewsError::Unknown || (error == NewsError::InvalidNews && !invalidNewsShown)) {
        return;
    }
    host_.showMessage(PublisherHost::MessageKind::Warning, std::string(NewsErrorText(error)),
                      PublisherHost::MessageButtons::Ok);
    failureShown_ = true;
}

bool NewsClient::FetchNewsList(const std::string& publId, const std::string& brandCode,
                               const std::string& prodType, const std::string& newsTarget,
                               std::vector<std::string>& list) {
    const std::string reply = post(prodType, "getlastnews.php",
                                   {{"memusername", publId},
                                    {"prodcode", brandCode},
                                    {"prodtype", prodType},
                                    {"conttype", kListContent},
                                    {"newstarget", newsTarget},
                                    {"something", kEmpty}});
    if (!IsNewsSuccess(reply)) {
        report(NewsErrorOf(reply), false);
        return false;
    }
    for (std::string& record : NewsListRecords(reply)) {
        list.push_back(std::move(record));
    }
    return true;
}

bool NewsClient::FetchLastNews(const std::string& publId, const std::string& brandCode,
                               const std::string& prodType, const std::string& newsTarget,
                               std::string& newsId, std::string& title, bool Silent) {
    newsId.clear();
    const std::string reply = post(prodType, "getlastnews.php",
                                   {{"memusername", publId},
                                    {"prodcode", brandCode},
                                    {"prodtype", prodType},
                                    {"conttype", kLastContent},
                                    {"newstarget", newsTarget},
                                    {"something", kEmpty}});
    if (!IsNewsSuccess(reply)) {
        if (!Silent) {
            report(NewsErrorOf(reply), false);
        }
        return false;
    }
    if (std::optional<LastNewsItem> item = LastNewsItemOf(reply)) {
        newsId = std::move(item->id);
        title = std::move(item->title);
    }
    return true;
}

bool NewsClient::FetchNewsDetails(const std::string& publId, const std::string& brandCode,
                                  const std::string& prodType, const std::string& newsTarget,
                                  const std::string& newsId, std::string& html) {
    html.clear();
    const std::string reply = post(prodType, "getnewsdetails.php",
                                   {{"memusername", publId},
                                    {"prodcode", brandCode},
                                    {"prodtype", prodType},
                                    {"newsid", newsId},
                                    {"newstarget", newsTarget},
                                    {"something", kEmpty}});
    if (!IsNewsSuccess(reply)) {
        report(NewsErrorOf(reply), true);
        return false;
    }
    html = NewsDetailsHtml(reply);
    return true;
}

}  // namespace publisher
