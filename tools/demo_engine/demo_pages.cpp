#include "tools/demo_engine/demo_pages.h"

#include <algorithm>
#include <array>
#include <numeric>
#include <utility>
#include <vector>

#include "util/ascii.h"

namespace demo {
namespace {

// Keywords are echoed into every hit; a longer one is cut so that a page
// stays near its usual size.
constexpr std::size_t kMaxKeywordShown = 80;
// Digits read from an offset or page parameter; enough for any offset.
constexpr std::size_t kMaxNumberDigits = 12;

struct EngineShape {
    std::int64_t firstOffset;
    std::int64_t step;
};

EngineShape ShapeOf(DemoEngine engine) {
    switch (engine) {
        case DemoEngine::Google:
            return {0, 100};
        case DemoEngine::Yahoo:
            return {1, 100};
        case DemoEngine::Live:
            return {1, 10};
        case DemoEngine::AltaVista:
            return {0, 50};
    }
    return {0, 100};
}

std::string UrlDecode(std::string_view text) {
    std::string out;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '+') {
            out.push_back(' ');
        } else if (text[i] == '%' && i + 2 < text.size() && util::HexValue(text[i + 1]) >= 0 &&
                   util::HexValue(text[i + 2]) >= 0) {
            out.push_back(
                static_cast<char>(util::HexValue(text[i + 1]) * 16 + util::HexValue(text[i + 2])));
            i += 2;
        } else {
            out.push_back(text[i]);
        }
    }
    return out;
}

// A parameter value fit to stand in an href again.
std::string UrlSafe(std::string_view text) {
    static constexpr char kHex[] = "0123456789ABCDEF";
    std::string out;
    for (char c : text) {
        const auto b = static_cast<unsigned char>(c);
        if ((c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') ||
            c == '-' || c == '_' || c == '.' || c == '+' || c == '%') {
            out.push_back(c);
        } else {
            out.push_back('%');
            out.push_back(kHex[b >> 4]);
            out.push_back(kHex[b & 15]);
        }
    }
    return out;
}

std::string HtmlEscape(std::string_view text) {
    std::string out;
    for (char c : text.substr(0, kMaxKeywordShown)) {
        switch (c) {
            case '&':
                out += "&amp;";
                break;
            case '<':
                out += "&lt;";
                break;
            case '>':
                out += "&gt;";
                break;
            case '"':
                out += "&quot;";
                break;
            case '\'':
                out += "&#39;";
                break;
            default:
                if (static_cast<unsigned char>(c) >= 32) {
                    out.push_back(c);
                }
        }
    }
    return out;
}

// Lower-case letters and digits of the keyword, for the hits' paths.
std::string Slug(std::string_view keyword) {
    std::string out;
    for (char c : keyword) {
        if (out.size() >= 24) {
            break;
        }
        const char lower = util::AsciiLower(c);
        if ((lower >= 'a' && lower <= 'z') || (lower >= '0' && lower <= '9')) {
            out.push_back(lower);
        }
    }
    return out.empty() ? "demo" : out;
}

std::int64_t ParseNumber(std::string_view text, std::int64_t fallback) {
    if (text.empty() || text.size() > kMaxNumberDigits) {
        return fallback;
    }
    std::int64_t value = 0;
    for (char c : text) {
        if (c < '0' || c > '9') {
            return fallback;
        }
        value = value * 10 + (c - '0');
    }
    return value;
}

using Params = std::vector<std::pair<std::string, std::string>>;

Params ParseQuery(std::string_view query) {
    Params params;
    while (!query.empty()) {
        const std::size_t amp = query.find('&');
        const std::string_view pair = query.substr(0, amp);
        const std::size_t eq = pair.find('=');
        params.emplace_back(std::string(pair.substr(0, eq)),
                            eq == std::string_view::npos ? "" : std::string(pair.substr(eq + 1)));
        query = amp == std::string_view::npos ? std::string_view() : query.substr(amp + 1);
    }
    return params;
}

const std::string* Find(const Params& params, std::string_view name) {
    for (const auto& [key, value] : params) {
        if (key == name) {
            return &value;
        }
    }
    return nullptr;
}

// SplitMix64's step: enough mixing to pick a day's order from a seed.
std::uint64_t Mix(std::uint64_t x) {
    x += 0x9e3779b97f4a7c15ULL;
    x = (x ^ (x >> 30)) * 0xbf58476d1ce4e5b9ULL;
    x = (x ^ (x >> 27)) * 0x94d049bb133111ebULL;
    return x ^ (x >> 31);
}

// A shuffled hit stays within its block of this many places.
constexpr std::int64_t kShuffleBlock = 10;
// The day's own hits are numbered from here, beyond every plain hit
// (kMaxPageLimit pages of 100).
constexpr std::int64_t kNewcomerBase = 1'000'000'000;

// The text below each hit: long enough that a 100-hit page weighs about
// 200 KB, as the engines' pages did.
std::string Snippet(const std::string& kw, std::int64_t n) {
    static const std::string kFiller =
        "Everything you wanted to know, collected and compared: prices, reviews, opinions "
        "and the latest news from around the web, updated every day by our editors. Read "
        "what other visitors say, compare offers side by side and find the best choice for "
        "you. Our guides explain the basics step by step, from the first questions to the "
        "details that only experts talk about, with pictures, tables and examples. ";
    std::string text = "... <b>" + kw + "</b> page " + std::to_string(n) + ". ";
    for (int i = 0; i < 4; ++i) {
        text += kFiller;
        text += "<b>" + kw + "</b> ";
    }
    return text + "...";
}

std::string Anchor(const std::string& kw, std::int64_t n) {
    const std::string num = std::to_string(n);
    switch (n % 5) {
        case 0:
            return "Result " + num + ": <b>" + kw + "</b> &amp; friends";
        case 1:
            return "&quot;" + kw + "&quot; &#39;quoted&#39; result " + num;
        case 2:
            return "<strong>" + kw + "</strong>  reviews,   result " + num;
        case 3:
            return kw + " &lt;guide&gt; result " + num + " <em>new</em>";
        default:
            return kw + "\r\n result " + num + " &nbsp;";
    }
}

// The hit's target: some with the scheme in capitals, some ending in "/".
std::string Link(const std::string& slug, std::int64_t n) {
    const std::string num = std::to_string(n);
    std::string host = "www.site" + num + ".example";
    std::string scheme = "http://";
    if (n % 17 == 5) {
        scheme = "HTTP://";
        host = "WWW.SITE" + num + ".EXAMPLE";
    }
    if (n % 10 == 7) {
        return scheme + host + "/" + slug + "/";
    }
    return scheme + host + "/" + slug + "/page" + num + ".html";
}

std::string NextLink(const DemoQuery& q, std::int64_t nextOffset) {
    const std::string kw = UrlSafe(q.keywordParam);
    const std::string off = std::to_string(nextOffset);
    switch (q.engine) {
        case DemoEngine::Google:
            return "<table id=nav><tr><td class=b><a href=\"/search?as_q=" + kw +
                   "&amp;num=100&amp;start=" + off +
                   "\"><span class=csb style=\"background-position:-76px 0;width:66px\"></span>"
                   "Next</a></td></tr></table>\n";
        case DemoEngine::Yahoo:
            return "<div id=\"pg\"><a id=\"pg-next\" href=\"/search?p=" + kw +
                   "&amp;n=100&amp;pstart=1&amp;b=" + off + "\">Next &gt;</a></div>\n";
        case DemoEngine::Live:
            return "<ul class=\"sb_pag\"><li><a href=\"/results.aspx?q=" + kw +
                   "&amp;first=" + off + "\" class=\"sb_pagN\">Next</a></li></ul>\n";
        case DemoEngine::AltaVista:
            return "<a href=\"/web/results?itag=ody&amp;pg=aq&amp;aqmode=s&amp;nbq=50&amp;aqa=" +
                   kw + "&amp;first=0&amp;stq=" + off + "\">Next &gt;&gt;</a>\n";
    }
    return {};
}

void GoogleHits(std::string& page, const DemoQuery& q, const std::string& kw,
                const std::string& slug, std::int64_t first, int count) {
    if (q.pageIndex == 0) {
        // Hits that a harvester must leave out: image search, a blended news
        // box (its tag carries a "b") and a relative link.
        page += "<li class=g><h3 class=r><a href=\"http://images.google.example/images?q=" +
                UrlSafe(q.keywordParam) + "\">Images for <b>" + kw + "</b></a></h3></li>\n";
        page += "<li class=g blended><h3 class=r><a href=\"http://news.example/" + slug +
                "\">News results for <b>" + kw + "</b></a></h3></li>\n";
        page += "<li class=g><h3 class=r><a href=\"/products?q=" + UrlSafe(q.keywordParam) +
                "\">Shopping results for <b>" + kw + "</b></a></h3></li>\n";
    }
    for (std::int64_t n = first; n < first + count; ++n) {
        const std::int64_t id = HitAt(q, n);
        page += "<li class=g><h3 class=r><a href=\"" + Link(slug, id) +
                "\" class=l onmousedown=\"return rwt(this,'','','res','" + std::to_string(n) +
                "','AFQjCN','&amp;sig2=x')\">" + Anchor(kw, id) + "</a></h3><div class=\"s\">" +
                Snippet(kw, id) + "<br><cite>www.site" + std::to_string(id) + ".example/" + slug +
                "</cite> - 12k - <span class=gl><a href=\"http://cache.example/search?q=cache:" +
                std::to_string(n) + "\">Cached</a></span></div></li>\n";
    }
}

void YahooHits(std::string& page, const DemoQuery& q, const std::string& kw,
               const std::string& slug, std::int64_t first, int count) {
    auto rds = [](std::string link) {
        // Yahoo wraps each target in its redirector, the scheme's colon encoded.
        const std::size_t colon = link.find("://");
        link.replace(colon, 1, "%3a");
        return "http://rds.yahoo.example/_ylt=A0oG;_ylu=X3oDMTE/SIG=11/EXP=1/**" + link;
    };
    if (q.pageIndex == 0) {
        page += "<li><div class=\"res\"><div><h3><a class=\"yschttl\" href=\"" +
                rds("ftp://ftp.example/pub/" + slug) + "\">FTP archive for " + kw +
                "</a></h3></div></div></li>\n";
    }
    for (std::int64_t n = first; n < first + count; ++n) {
        const std::int64_t id = HitAt(q, n);
        std::string link = Link(slug, id);
        if (id % 13 == 4) {
            link += "?ref%3Ayahoo";  // an upper-case escape that must stay
        }
        page += "<li><div class=\"res\"><div><h3><a class=\"yschttl\" href=\"" + rds(link) + "\">" +
                Anchor(kw, id) + "</a></h3></div><div class=\"abstr\">" + Snippet(kw, id) +
                "</div><span class=url>www.site" + std::to_string(id) +
                ".example</span></div></li>\n";
    }
}

void LiveHits(std::string& page, const DemoQuery& q, const std::string& kw, const std::string& slug,
              std::int64_t first, int count) {
    for (std::int64_t n = first; n < first + count; ++n) {
        const std::int64_t id = HitAt(q, n);
        page += "<li><h3><a href=\"" + Link(slug, id) +
                "\" onmousedown=\"return si_T('&amp;ID=SERP," + std::to_string(n) + "')\">" +
                Anchor(kw, id) + "</a></h3><p>" + Snippet(kw, id) +
                "</p><ul class=\"sb_meta\"><li><cite>www.site" + std::to_string(id) +
                ".example</cite></li></ul></li>\n";
    }
}

void AltaVistaHits(std::string& page, const DemoQuery& q, const std::string& kw,
                   const std::string& slug, std::int64_t first, int count) {
    for (std::int64_t n = first; n < first + count; ++n) {
        const std::int64_t id = HitAt(q, n);
        std::string shown = Link(slug, id);
        // AltaVista shows most links without their scheme.
        if (id % 17 != 5) {
            shown.erase(0, 7);
        }
        page += "<a class='res' href='" + Link(slug, id) + "'><span class=s>" + Anchor(kw, id) +
                "</span></a><br><p class=s>" + Snippet(kw, id) + "</p><span class=ngrn>" + shown +
                "</span><br>\n";
    }
}

// Whether a query tail holds only the parameters that steer the demo.
bool IsControlTail(const Params& tail) {
    return !tail.empty() && std::all_of(tail.begin(), tail.end(), [](const auto& param) {
        return param.first == "pages" || param.first == "fail" || param.first == "stall";
    });
}

}  // namespace

std::int64_t HitAt(const DemoQuery& q, std::int64_t n) {
    if (!q.shuffle || n < 1) {
        return n;
    }
    const std::uint64_t dayKey =
        Mix(q.shuffle->seed ^ Mix(static_cast<std::uint64_t>(q.shuffle->day)));
    if (Mix(dayKey ^ static_cast<std::uint64_t>(n)) % kShuffleBlock == 0) {
        return kNewcomerBase + n;
    }
    const std::int64_t block = (n - 1) / kShuffleBlock;
    std::array<std::int64_t, kShuffleBlock> order;
    std::iota(order.begin(), order.end(), block * kShuffleBlock + 1);
    std::uint64_t state = Mix(dayKey ^ Mix(static_cast<std::uint64_t>(block)));
    for (std::size_t i = order.size() - 1; i > 0; --i) {
        state = Mix(state);
        std::swap(order[i], order[state % (i + 1)]);
    }
    return order[static_cast<std::size_t>((n - 1) % kShuffleBlock)];
}

int HitsPerPage(DemoEngine engine) {
    return engine == DemoEngine::AltaVista ? 50 : 100;
}

std::optional<DemoQuery> ParseDemoTarget(std::string_view target, std::int64_t defaultPageLimit) {
    const std::size_t qmark = target.find('?');
    if (qmark == std::string_view::npos) {
        return std::nullopt;
    }
    const std::string_view path = target.substr(0, qmark);
    const Params params = ParseQuery(target.substr(qmark + 1));
    DemoQuery q;
    const std::string* keyword = nullptr;
    const std::string* offset = nullptr;
    if (path == "/search") {
        if ((keyword = Find(params, "as_q")) != nullptr) {
            q.engine = DemoEngine::Google;
            offset = Find(params, "start");
        } else if ((keyword = Find(params, "p")) != nullptr) {
            q.engine = DemoEngine::Yahoo;
            offset = Find(params, "b");
        } else if ((keyword = Find(params, "q")) != nullptr) {
            q.engine = DemoEngine::Google;
            offset = Find(params, "start");
        }
    } else if (path == "/results.aspx") {
        q.engine = DemoEngine::Live;
        keyword = Find(params, "q");
        offset = Find(params, "first");
    } else if (path == "/web/results") {
        q.engine = DemoEngine::AltaVista;
        keyword = Find(params, "aqa");
        offset = Find(params, "stq");
    }
    if (keyword == nullptr) {
        return std::nullopt;
    }
    q.keywordParam = *keyword;
    q.keyword = UrlDecode(*keyword);
    const EngineShape shape = ShapeOf(q.engine);
    const std::int64_t off = offset ? ParseNumber(*offset, shape.firstOffset) : shape.firstOffset;
    q.pageIndex = std::max<std::int64_t>(0, off - shape.firstOffset) / shape.step;
    // The harvester encodes the whole keyword, "&" included, so a keyword
    // such as "cars&pages=3" brings control parameters for tests and demos.
    // Only a tail made of nothing but control parameters counts as such: any
    // other "&" belongs to the keyword ("AT&T", "Q&A&pages=2").
    Params controls = params;
    for (std::size_t amp = q.keyword.find('&'); amp != std::string::npos;
         amp = q.keyword.find('&', amp + 1)) {
        const Params inner = ParseQuery(std::string_view(q.keyword).substr(amp + 1));
        if (!IsControlTail(inner)) {
            continue;
        }
        controls.insert(controls.end(), inner.begin(), inner.end());
        // The same "&" in the parameter as sent, where each is a "%26".
        const auto before = std::count(q.keyword.begin(), q.keyword.begin() + amp, '&');
        std::size_t cut = q.keywordParam.find("%26");
        for (auto n = before; n > 0 && cut != std::string::npos; --n) {
            cut = q.keywordParam.find("%26", cut + 3);
        }
        q.keyword.resize(amp);
        q.keywordParam.resize(std::min(cut, q.keywordParam.size()));
        break;
    }
    const std::string* pages = Find(controls, "pages");
    q.pageLimit = std::clamp<std::int64_t>(
        pages ? ParseNumber(*pages, defaultPageLimit) : defaultPageLimit, 1, kMaxPageLimit);
    if (const std::string* fail = Find(controls, "fail")) {
        q.failPage = ParseNumber(*fail, -1);
    }
    if (const std::string* stall = Find(controls, "stall")) {
        q.stallPage = ParseNumber(*stall, -1);
    }
    return q;
}

std::string RenderDemoPage(const DemoQuery& q) {
    const std::string kw = HtmlEscape(q.keyword);
    const std::string slug = Slug(q.keyword);
    const int count = HitsPerPage(q.engine);
    const std::int64_t first = q.pageIndex * count + 1;
    std::string page;
    page.reserve(static_cast<std::size_t>(count) * 2300 + 2048);
    page += "<html><head><title>" + kw +
            " - Zorvane demo search</title></head>\n<body>\n<div id=res>\n<ol>\n";
    switch (q.engine) {
        case DemoEngine::Google:
            GoogleHits(page, q, kw, slug, first, count);
            break;
        case DemoEngine::Yahoo:
            YahooHits(page, q, kw, slug, first, count);
            break;
        case DemoEngine::Live:
            LiveHits(page, q, kw, slug, first, count);
            break;
        case DemoEngine::AltaVista:
            AltaVistaHits(page, q, kw, slug, first, count);
            break;
    }
    page += "</ol>\n</div>\n";
    if (q.pageIndex + 1 < q.pageLimit) {
        const EngineShape shape = ShapeOf(q.engine);
        page += NextLink(q, shape.firstOffset + (q.pageIndex + 1) * shape.step);
    }
    page += "</body></html>\n";
    return page;
}

HttpReply DemoReply(const HttpRequest& request, std::int64_t defaultPageLimit,
                    const std::optional<DemoShuffle>& shuffle) {
    std::optional<DemoQuery> q = ParseDemoTarget(request.target, defaultPageLimit);
    if (q) {
        q->shuffle = shuffle;
    }
    if (!q) {
        return HttpReply{404, "Not Found", "text/html",
                         "<html><body>No such page on the Zorvane demo engine.</body></html>\n"};
    }
    if (q->pageIndex == q->failPage) {
        return HttpReply{503, "Service Unavailable", "text/html",
                         "<html><body>Try again later.</body></html>\n"};
    }
    HttpReply reply;
    reply.body = RenderDemoPage(*q);
    if (q->pageIndex == q->stallPage) {
        reply.stallAfter = reply.body.size() / 2;
    }
    return reply;
}

}  // namespace demo
