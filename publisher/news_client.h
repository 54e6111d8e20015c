#pragma once

// The client side of the brander's news service: three multipart POSTs on
// the news client (IdHTTP1), one reply convention, one table of error replies.

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "net/http_client.h"
#include "publisher/news_brand.h"
#include "publisher/publisher_host.h"

namespace publisher {

// The news target code every request of the program sends.
inline constexpr std::string_view kNewsTarget = "UA";

// The error replies the service knows, and a reply it does not.
enum class NewsError { NoReply, ConnectionFail, InvalidUser, InvalidProduct, InvalidNews, Unknown };

// The kind of a trimmed reply that holds no "OK": exact, case-sensitive.
NewsError NewsErrorOf(std::string_view reply);
// The user's text for an error; empty for Unknown.
std::string_view NewsErrorText(NewsError error);

// The readers of a reply as the service sends it. A reply counts without the
// blanks and control bytes around it; it is a success when it holds "OK"
// anywhere, and an error reply otherwise.
std::string NewsReplyText(std::string_view rawReply);
bool IsNewsSuccess(std::string_view reply);

// The records of a success reply to the list request, in reply order: the
// pieces that hold an id (ParseNewsId) and a title, "^"-separated; any other
// piece is no record, so a reply without records is no news.
std::vector<std::string> NewsListRecords(std::string_view reply);

// The newest item of a success reply to the last-news request; nullopt when
// the reply carries none or its id is no news id.
struct LastNewsItem {
    std::string id;
    std::string title;
};
std::optional<LastNewsItem> LastNewsItemOf(std::string_view reply);

// The page of a success reply to the details request; empty when its escapes
// do not decode.
std::string NewsDetailsHtml(std::string_view reply);

// baseUrl + document, with a "/" between unless baseUrl already ends in one.
std::string NewsDocumentUrl(std::string_view baseUrl, std::string_view document);

class NewsClient {
public:
    // http and host must outlive the client; the brand is copied.
    NewsClient(net::HttpClient& http, PublisherHost& host, NewsBrand brand);

    // Appends the records of a success reply to list (it is not emptied).
    // False after an error reply, which is reported through the host.
    bool FetchNewsList(const std::string& publId, const std::string& brandCode,
                       const std::string& prodType, const std::string& newsTarget,
                       std::vector<std::string>& list);

    // newsId is emptied first; title is written only when the reply carries an
    // item. A reply without both an id and a title field, or whose id is no
    // news id, counts as no news.
    // Silent suppresses every error message.
    bool FetchLastNews(const std::string& publId, const std::string& brandCode,
                       const std::string& prodType, const std::string& newsTarget,
                       std::string& newsId, std::string& title, bool Silent);

    // html is emptied first; a success whose escapes do not decode leaves it empty.
    bool FetchNewsDetails(const std::string& publId, const std::string& brandCode,
                          const std::string& prodType, const std::string& newsTarget,
                          const std::string& newsId, std::string& html);

    // Whether the last request failed with a message already shown to the
    // user, so a caller adds no second one for the same failure.
    bool failureShown() const { return failureShown_; }

private:
    struct Field {
        std::string_view name;
        const std::string& value;
    };
    // The trimmed reply; empty on any failure of the POST.
    std::string post(const std::string& prodType, std::string_view document,
                     const std::vector<Field>& fields);
    void report(NewsError error, bool invalidNewsShown);

    net::HttpClient& http_;
    PublisherHost& host_;
    NewsBrand brand_;
    bool failureShown_ = false;
};

}  // namespace publisher
