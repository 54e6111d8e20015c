// The news requests on the wire and every reply row: the URL rule, the form
// bytes, the trimming, the success test, the parsers and the error table.

#include "publisher/news_client.h"

#include <gtest/gtest.h>

#include <functional>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "publisher/publisher_texts.h"
#include "tests/publisher/scripted_host.h"
#include "tests/support/scripted_server.h"

namespace {

using publisher::NewsBrand;
using publisher::NewsClient;
using publisher_test::ScriptedHost;
using testsupport::HttpResponse;
using testsupport::Reply;
using testsupport::ScriptedServer;
using Fields = std::vector<std::pair<std::string, std::string>>;
using Kind = publisher::PublisherHost::MessageKind;
using Buttons = publisher::PublisherHost::MessageButtons;

const std::string kPublId = "pub 7";
const std::string kBrandCode = "ZV 01&x";
const std::string kTarget(publisher::kNewsTarget);

std::string Ok200(const std::string& body) {
    return HttpResponse("HTTP/1.1 200 OK", body);
}

NewsBrand MasterBrand(const std::string& baseUrl) {
    NewsBrand brand;
    brand.BranderType = "Master";
    brand.BranderCode = kBrandCode;
    brand.MasterPublID = kPublId;
    brand.MasterNewsBaseURL = baseUrl;
    return brand;
}

// The multipart body the client must send for these fields.
std::string FormBytes(const std::string& boundary, const Fields& fields) {
    std::string body;
    for (const auto& [name, value] : fields) {
        body += "--" + boundary + "\r\nContent-Disposition: form-data; name=\"" + name +
                "\"\r\n\r\n" + value + "\r\n";
    }
    return body + "\r\n--" + boundary + "--\r\n";
}

std::string RequestLine(const std::string& request) {
    return request.substr(0, request.find("\r\n"));
}

// One news client talking to one scripted server.
struct Session {
    explicit Session(std::vector<testsupport::Script> scripts, std::string basePath = "/news/")
        : server(std::move(scripts)), news(http, host, MasterBrand(server.url(basePath))) {}
    explicit Session(const std::string& replyBody, std::string basePath = "/news/")
        : Session({Reply(Ok200(replyBody))}, std::move(basePath)) {}

    ScriptedServer server;
    net::HttpClient http;
    ScriptedHost host;
    NewsClient news;
};

std::vector<ScriptedHost::Shown> Warning(std::optional<std::string_view> text) {
    if (!text) {
        return {};
    }
    return {{Kind::Warning, std::string(*text), Buttons::Ok}};
}

// ---- the wire ----

struct FormCase {
    const char* name;
    std::function<bool(NewsClient&)> call;
    std::string requestLine;
    Fields fields;
};

TEST(NewsForms, EachRequestPostsItsFieldsInOrderUnescaped) {
    const std::vector<FormCase> cases = {
        {.name = "news list",
         .call =
             [](NewsClient& news) {
                 std::vector<std::string> list;
                 return news.FetchNewsList(kPublId, kBrandCode, "BM", kTarget, list);
             },
         .requestLine = "POST /news/getlastnews.php HTTP/1.0",
         .fields = {{"memusername", kPublId},
                    {"prodcode", kBrandCode},
                    {"prodtype", "BM"},
                    {"conttype", "all"},
                    {"newstarget", "UA"},
                    {"something", ""}}},
        {.name = "last news",
         .call =
             [](NewsClient& news) {
                 std::string id, title;
                 return news.FetchLastNews(kPublId, kBrandCode, "BM", kTarget, id, title, true);
             },
         .requestLine = "POST /news/getlastnews.php HTTP/1.0",
         .fields = {{"memusername", kPublId},
                    {"prodcode", kBrandCode},
                    {"prodtype", "BM"},
                    {"conttype", "lastcode"},
                    {"newstarget", "UA"},
                    {"something", ""}}},
        {.name = "news details",
         .call =
             [](NewsClient& news) {
                 std::string html;
                 return news.FetchNewsDetails(kPublId, kBrandCode, "BM", kTarget, "42 ", html);
             },
         .requestLine = "POST /news/getnewsdetails.php HTTP/1.0",
         .fields = {{"memusername", kPublId},
                    {"prodcode", kBrandCode},
                    {"prodtype", "BM"},
                    {"newsid", "42 "},
                    {"newstarget", "UA"},
                    {"something", ""}}},
    };
    for (const FormCase& c : cases) {
        SCOPED_TRACE(c.name);
        Session session("OK");
        EXPECT_TRUE(c.call(session.news));
        const std::string request = session.server.received(0);
        EXPECT_EQ(RequestLine(request), c.requestLine);
        const std::size_t headEnd = request.find("\r\n\r\n");
        ASSERT_NE(headEnd, std::string::npos);
        const std::string head = request.substr(0, headEnd);
        const std::size_t at = head.find("boundary=");
        ASSERT_NE(at, std::string::npos);
        const std::string boundary = head.substr(at + 9, head.find("\r\n", at) - at - 9);
        EXPECT_EQ(request.substr(headEnd + 4), FormBytes(boundary, c.fields));
    }
}

struct UrlCase {
    const char* basePath;
    std::string requestLine;
};

TEST(NewsForms, DocumentIsAppendedToTheBaseUrlWithOneSlashUnlessItEndsInOne) {
    const std::vector<UrlCase> cases = {
        {.basePath = "/news/", .requestLine = "POST /news/getlastnews.php HTTP/1.0"},
        {.basePath = "/news", .requestLine = "POST /news/getlastnews.php HTTP/1.0"},
        {.basePath = "/news//", .requestLine = "POST /news//getlastnews.php HTTP/1.0"},
        {.basePath = "/news/getlastnews.php",
         .requestLine = "POST /news/getlastnews.php/getlastnews.php HTTP/1.0"},
    };
    for (const UrlCase& c : cases) {
        SCOPED_TRACE(c.basePath);
        Session session({Reply(Ok200("OK"))}, c.basePath);
        std::vector<std::string> list;
        EXPECT_TRUE(session.news.FetchNewsList(kPublId, kBrandCode, "BM", kTarget, list));
        EXPECT_EQ(RequestLine(session.server.received(0)), c.requestLine);
    }
    EXPECT_EQ(publisher::NewsDocumentUrl("", "getlastnews.php"), "/getlastnews.php");
    EXPECT_EQ(publisher::NewsDocumentUrl("http://h", "getnewsdetails.php"),
              "http://h/getnewsdetails.php");
}

TEST(NewsForms, ProductTypeChoosesTheBaseUrlAndAnUnknownOneOrAnEmptyUrlFailsWithoutRequest) {
    ScriptedServer server({Reply(Ok200("OK"))});
    net::HttpClient http;
    ScriptedHost host;
    NewsBrand brand = MasterBrand("");
    brand.PlatinumNewsBaseURL = server.url("/platinum");
    NewsClient news(http, host, brand);
    std::vector<std::string> list;

    EXPECT_TRUE(news.FetchNewsList(kPublId, kBrandCode, "BP", kTarget, list));
    EXPECT_EQ(RequestLine(server.received(0)), "POST /platinum/getlastnews.php HTTP/1.0");
    EXPECT_TRUE(host.shown.empty());

    for (const char* prodType : {"BM", "BX", "bp"}) {
        SCOPED_TRACE(prodType);
        host.shown.clear();
        EXPECT_FALSE(news.FetchNewsList(kPublId, kBrandCode, prodType, kTarget, list));
        EXPECT_EQ(host.shown, Warning(publisher::texts::kNoReply));
    }
    EXPECT_EQ(server.connectionCount(), 1u);
    EXPECT_TRUE(list.empty());
}

// ---- replies ----

struct ListCase {
    const char* name;
    std::string reply;
    bool ok;
    std::vector<std::string> added;
    std::optional<std::string_view> message;
};

TEST(NewsList, RepliesAppendRecordsOrReportTheirError) {
    const std::vector<ListCase> cases = {
        {.name = "OK alone", .reply = "OK", .ok = true, .added = {}, .message = {}},
        {.name = "records in order",
         .reply = "3^Third^2024-05-03\xAF"
                  "2^Second^2024-05-02\xAF"
                  "OK",
         .ok = true,
         .added = {"3^Third^2024-05-03", "2^Second^2024-05-02"},
         .message = {}},
        {.name = "empty piece skipped, OK inside a title kept, blanks trimmed",
         .reply = " \r\n1^A$41^d\xAF\xAF"
                  "2^LOOKS OK^d\xAF"
                  "OK\r\n\t",
         .ok = true,
         .added = {"1^A$41^d", "2^LOOKS OK^d"},
         .message = {}},
        {.name = "a piece merely containing OK is no record without an id and a title",
         .reply = "OK\xAFOKAY\xAF"
                  "4^OKAY\xAF"
                  "OK",
         .ok = true,
         .added = {"4^OKAY"},
         .message = {}},
        {.name = "empty",
         .reply = "",
         .ok = false,
         .added = {},
         .message = publisher::texts::kNoReply},
        {.name = "blanks only",
         .reply = " \r\n",
         .ok = false,
         .added = {},
         .message = publisher::texts::kNoReply},
        {.name = "CONNECTIONFAIL",
         .reply = "CONNECTIONFAIL",
         .ok = false,
         .added = {},
         .message = publisher::texts::kConnectionFail},
        {.name = "INVALIDUSER trimmed",
         .reply = "  INVALIDUSER\r\n",
         .ok = false,
         .added = {},
         .message = publisher::texts::kInvalidUser},
        {.name = "INVALIDPRODUCT",
         .reply = "INVALIDPRODUCT",
         .ok = false,
         .added = {},
         .message = publisher::texts::kInvalidProduct},
        {.name = "INVALIDNEWS is not shown here",
         .reply = "INVALIDNEWS",
         .ok = false,
         .added = {},
         .message = {}},
        {.name = "lower case code",
         .reply = "invaliduser",
         .ok = false,
         .added = {},
         .message = {}},
        {.name = "code with more text",
         .reply = "INVALIDUSER x",
         .ok = false,
         .added = {},
         .message = {}},
        {.name = "other text", .reply = "Not here", .ok = false, .added = {}, .message = {}},
    };
    for (const ListCase& c : cases) {
        SCOPED_TRACE(c.name);
        Session session(c.reply);
        std::vector<std::string> list = {"kept"};
        EXPECT_EQ(session.news.FetchNewsList(kPublId, kBrandCode, "BM", kTarget, list), c.ok);
        std::vector<std::string> expected = {"kept"};
        expected.insert(expected.end(), c.added.begin(), c.added.end());
        EXPECT_EQ(list, expected);
        EXPECT_EQ(session.host.shown, Warning(c.message));
        EXPECT_EQ(session.news.failureShown(), !session.host.shown.empty());
    }
}

// What a hostile or broken news server sends: a reply holding "OK" is still a
// success, but pieces without a news id and a title are no records, so such
// a reply is no news and nothing of it can become a stored id.
TEST(NewsList, PiecesThatDoNotParseAreNoRecords) {
    const std::string bookedPage =
        "<!DOCTYPE html>\r\n<html><head><title>503</title></head><body>"
        "<p>Hotel BOOKED out^try later</p></body></html>\r\n";
    // Just inside the reply text's bound, id, title, date and end included.
    const std::string hugeId(16 * 1024 * 1024 - 64, '7');
    const struct {
        const char* name;
        std::string reply;
        std::vector<std::string> added;
    } cases[] = {
        {.name = "HTML error page holding BOOKED", .reply = bookedPage, .added = {}},
        {.name = "id of 16 MiB digits", .reply = hugeId + "^T^d\xAFOK", .added = {}},
        {.name = "id beyond 32 bits", .reply = "2147483648^T^d\xAFOK", .added = {}},
        {.name = "id of words", .reply = "twelve^T^d\xAFOK", .added = {}},
        {.name = "id with a blank", .reply = "12 ^T^d\xAFOK", .added = {}},
        {.name = "id alone", .reply = "12\xAFOK", .added = {}},
        {.name = "empty id", .reply = "^T^d\xAFOK", .added = {}},
        {.name = "only the good records stay",
         .reply = "12^Spring^d\xAF" + bookedPage + "\xAF-2147483648^Low^d\xAF" + "11^Old^\xAFOK",
         .added = {"12^Spring^d", "-2147483648^Low^d", "11^Old^"}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        Session session(c.reply);
        std::vector<std::string> list;
        EXPECT_TRUE(session.news.FetchNewsList(kPublId, kBrandCode, "BM", kTarget, list));
        EXPECT_EQ(list, c.added);
        EXPECT_TRUE(session.host.shown.empty());
    }
}

struct LastCase {
    const char* name;
    std::string reply;
    bool ok;
    std::string id;
    std::string title;  // "untouched" when the title must not be written
    std::optional<std::string_view> message;
};

TEST(LastNews, RepliesGiveIdAndTitleOrNoNewsAndOnlyNonSilentCallsShowErrors) {
    const std::vector<LastCase> cases = {
        {.name = "item",
         .reply = "12^Hello^ignored\xAFOK",
         .ok = true,
         .id = "12",
         .title = "Hello",
         .message = {}},
        {.name = "title shown as sent",
         .reply = "\r\n7^Caf\xE9 $41 OK\xAFOK  ",
         .ok = true,
         .id = "7",
         .title = "Caf\xE9 $41 OK",
         .message = {}},
        {.name = "no news",
         .reply = "OK",
         .ok = true,
         .id = "",
         .title = "untouched",
         .message = {}},
        {.name = "end marker alone",
         .reply = "\xAFOK",
         .ok = true,
         .id = "",
         .title = "untouched",
         .message = {}},
        {.name = "id without title",
         .reply = "12\xAFOK",
         .ok = true,
         .id = "",
         .title = "untouched",
         .message = {}},
        {.name = "HTML error page holding BOOKED and a caret",
         .reply = "<html><body>BOOKED^full</body></html>",
         .ok = true,
         .id = "",
         .title = "untouched",
         .message = {}},
        {.name = "id beyond 32 bits",
         .reply = "99999999999^Big^d\xAFOK",
         .ok = true,
         .id = "",
         .title = "untouched",
         .message = {}},
        {.name = "empty",
         .reply = "",
         .ok = false,
         .id = "",
         .title = "untouched",
         .message = publisher::texts::kNoReply},
        {.name = "CONNECTIONFAIL",
         .reply = "CONNECTIONFAIL",
         .ok = false,
         .id = "",
         .title = "untouched",
         .message = publisher::texts::kConnectionFail},
        {.name = "INVALIDUSER",
         .reply = "INVALIDUSER",
         .ok = false,
         .id = "",
         .title = "untouched",
         .message = publisher::texts::kInvalidUser},
        {.name = "INVALIDPRODUCT",
         .reply = "INVALIDPRODUCT",
         .ok = false,
         .id = "",
         .title = "untouched",
         .message = publisher::texts::kInvalidProduct},
        {.name = "INVALIDNEWS",
         .reply = "INVALIDNEWS",
         .ok = false,
         .id = "",
         .title = "untouched",
         .message = {}},
    };
    for (const LastCase& c : cases) {
        for (const bool silent : {false, true}) {
            SCOPED_TRACE(std::string(c.name) + (silent ? ", silent" : ""));
            Session session(c.reply);
            std::string id = "stale";
            std::string title = "untouched";
            EXPECT_EQ(
                session.news.FetchLastNews(kPublId, kBrandCode, "BM", kTarget, id, title, silent),
                c.ok);
            EXPECT_EQ(id, c.id);
            EXPECT_EQ(title, c.title);
            EXPECT_EQ(session.host.shown, Warning(silent ? std::nullopt : c.message));
        }
    }
}

struct DetailsCase {
    const char* name;
    std::string reply;
    bool ok;
    std::string html;
    std::optional<std::string_view> message;
};

TEST(NewsDetails, RepliesAreDecodedOrReportTheirError) {
    const std::vector<DetailsCase> cases = {
        {.name = "escaped html",
         .reply = "$3Cb$3ECaf$E9 $24$3C/b$3E\xAFOK",
         .ok = true,
         .html = "<b>Caf\xE9 $</b>",
         .message = {}},
        {.name = "OK without the end marker: the whole text is decoded",
         .reply = "OK then $41",
         .ok = true,
         .html = "OK then A",
         .message = {}},
        {.name = "every end marker removed",
         .reply = "a\xAFOK"
                  "b\xAFOK",
         .ok = true,
         .html = "ab",
         .message = {}},
        {.name = "bad escape: success with no text",
         .reply = "bad $G1\xAFOK",
         .ok = true,
         .html = "",
         .message = {}},
        {.name = "INVALIDNEWS",
         .reply = "INVALIDNEWS\r\n",
         .ok = false,
         .html = "",
         .message = publisher::texts::kInvalidNews},
        {.name = "empty",
         .reply = "",
         .ok = false,
         .html = "",
         .message = publisher::texts::kNoReply},
        {.name = "CONNECTIONFAIL",
         .reply = "CONNECTIONFAIL",
         .ok = false,
         .html = "",
         .message = publisher::texts::kConnectionFail},
        {.name = "INVALIDUSER",
         .reply = "INVALIDUSER",
         .ok = false,
         .html = "",
         .message = publisher::texts::kInvalidUser},
        {.name = "INVALIDPRODUCT",
         .reply = "INVALIDPRODUCT",
         .ok = false,
         .html = "",
         .message = publisher::texts::kInvalidProduct},
        {.name = "lower case code", .reply = "invalidnews", .ok = false, .html = "", .message = {}},
    };
    for (const DetailsCase& c : cases) {
        SCOPED_TRACE(c.name);
        Session session(c.reply);
        std::string html = "old";
        EXPECT_EQ(session.news.FetchNewsDetails(kPublId, kBrandCode, "BM", kTarget, "3", html),
                  c.ok);
        EXPECT_EQ(html, c.html);
        EXPECT_EQ(session.host.shown, Warning(c.message));
    }
}

TEST(NewsFailures, HttpErrorStatusAndRefusedConnectionReadAsAnEmptyReply) {
    const std::string refused =
        "http://127.0.0.1:" + std::to_string(testsupport::UnusedPort()) + "/news/";
    ScriptedServer failing({Reply(HttpResponse("HTTP/1.1 500 Internal Server Error", "OK"))});
    for (const std::string& baseUrl : {refused, failing.url("/news/")}) {
        SCOPED_TRACE(baseUrl);
        net::HttpClient http;
        ScriptedHost host;
        NewsClient news(http, host, MasterBrand(baseUrl));
        std::vector<std::string> list;
        std::string id, title, html;
        EXPECT_FALSE(news.FetchNewsList(kPublId, kBrandCode, "BM", kTarget, list));
        EXPECT_TRUE(news.failureShown());
        EXPECT_FALSE(news.FetchLastNews(kPublId, kBrandCode, "BM", kTarget, id, title, true));
        EXPECT_FALSE(news.failureShown()) << "the silent request showed nothing";
        EXPECT_FALSE(news.FetchNewsDetails(kPublId, kBrandCode, "BM", kTarget, "1", html));
        EXPECT_TRUE(news.failureShown());
        EXPECT_FALSE(news.FetchLastNews(kPublId, kBrandCode, "BM", kTarget, id, title, false));
        EXPECT_TRUE(news.failureShown());
        const std::string text(publisher::texts::kNoReply);
        EXPECT_EQ(host.texts(), (std::vector<std::string>{text, text, text}));
    }
}

// ---- tiers ----

struct TierCase {
    const char* name;
    NewsBrand brand;
    std::optional<std::string> publisherId;
    std::string productType;
};

NewsBrand TierBrand(std::string type, std::string master, std::string platinum, std::string gold) {
    NewsBrand brand;
    brand.BranderType = std::move(type);
    brand.MasterPublID = std::move(master);
    brand.PlatinumPublID = std::move(platinum);
    brand.GoldPublID = std::move(gold);
    return brand;
}

TEST(NewsTier, FirstTierNamedExactlyWithAPublisherIdIsActive) {
    const std::vector<TierCase> cases = {
        {.name = "Master",
         .brand = TierBrand("Master", "m", "p", "g"),
         .publisherId = "m",
         .productType = "BM"},
        {.name = "Platinum",
         .brand = TierBrand("Platinum", "m", "p", "g"),
         .publisherId = "p",
         .productType = "BP"},
        {.name = "Gold",
         .brand = TierBrand("Gold", "", "", "g"),
         .publisherId = "g",
         .productType = "BG"},
        {.name = "case differs",
         .brand = TierBrand("master", "m", "p", "g"),
         .publisherId = std::nullopt,
         .productType = ""},
        {.name = "blank after name",
         .brand = TierBrand("Gold ", "m", "p", "g"),
         .publisherId = std::nullopt,
         .productType = ""},
        {.name = "empty id of its own tier",
         .brand = TierBrand("Master", "", "p", "g"),
         .publisherId = std::nullopt,
         .productType = ""},
        {.name = "Free",
         .brand = TierBrand("Free", "m", "p", "g"),
         .publisherId = std::nullopt,
         .productType = ""},
    };
    for (const TierCase& c : cases) {
        SCOPED_TRACE(c.name);
        const auto tier = publisher::ActiveNewsTier(c.brand);
        ASSERT_EQ(tier.has_value(), c.publisherId.has_value());
        if (tier) {
            EXPECT_EQ(tier->publisherId, *c.publisherId);
            EXPECT_EQ(tier->productType, c.productType);
        }
    }
}

}  // namespace
