#include "search/page_fetcher.h"

#include <algorithm>
#include <exception>

#include "net/http_client.h"
#include "net/stream.h"
#include "search/charset.h"
#include "search/search_texts.h"

namespace search {

void DisconnectQuietly(net::HttpClient& http) {
    try {
        http.Disconnect();
    } catch (const std::exception&) {
        // Disconnecting is cleanup; the caller's own outcome stands.
    }
}

std::string FailureReason(const std::exception& e) {
    std::string_view what = e.what();
    const auto* failure = dynamic_cast<const net::HttpError*>(&e);
    if (what.empty() && failure != nullptr) {
        // The client's table has always left these two without a text.
        if (failure->kind() == net::HttpErrorKind::NotAbsoluteUrl) {
            what = texts::kNotAbsoluteUrl;
        } else if (failure->kind() == net::HttpErrorKind::UnknownScheme) {
            what = texts::kUnknownScheme;
        }
    }
    // A status line is the server's text: it is cut, and no control byte of it
    // (nor the line end inside a socket error's text) reaches a status bar or
    // a terminal.
    std::string reason;
    for (const char c : what.substr(0, kMaxFailureReasonBytes)) {
        const auto byte = static_cast<unsigned char>(c);
        const bool control = byte < 0x20 || byte == 0x7f;
        if (!control) {
            reason.push_back(c);
        } else if (!reason.empty() && reason.back() != ' ') {
            reason.push_back(' ');
        }
    }
    if (what.size() > kMaxFailureReasonBytes) {
        // Not in the middle of a UTF-8 character.
        while (!reason.empty() && (static_cast<unsigned char>(reason.back()) & 0xC0) == 0x80) {
            reason.pop_back();
        }
        if (!reason.empty() && static_cast<unsigned char>(reason.back()) >= 0xC0) {
            reason.pop_back();
        }
        reason += "...";
    }
    while (!reason.empty() && reason.back() == ' ') {
        reason.pop_back();
    }
    return reason;
}

std::string FetchFailureText(const std::exception& e) {
    const std::string reason = FailureReason(e);
    return reason.empty() ? std::string(texts::kConnectionError)
                          : texts::ConnectionErrorBecause(reason);
}

std::string GettingUrlText(const net::HttpClient& http, const std::string& url) {
    const std::string proxy = http.ProxyFor(url);
    return std::string(texts::kGettingUrl) + url +
           (proxy.empty() ? "" : std::string(texts::kViaProxy) + proxy) +
           std::string(texts::kGettingUrlEnd);
}

std::string PageTextFromBytes(std::string_view bytes) {
    constexpr std::size_t npos = std::string_view::npos;
    bytes = bytes.substr(0, bytes.find('\0'));
    std::string text;
    text.reserve(bytes.size() + bytes.size() / 16 + 2);
    // The next CR and the next LF are each looked for with memchr and kept
    // until passed, so the page is crossed once at memchr speed.
    auto next = [&bytes](char c, std::size_t from) { return bytes.find(c, from); };
    std::size_t nextCr = next('\r', 0);
    std::size_t nextLf = next('\n', 0);
    std::size_t pos = 0;
    while (pos < bytes.size()) {
        const std::size_t brk = std::min(nextCr, nextLf);
        if (brk == npos) {
            text.append(bytes.substr(pos));
            text.append("\r\n");
            break;
        }
        text.append(bytes.substr(pos, brk - pos));
        text.append("\r\n");
        pos = brk +
              ((bytes[brk] == '\r' && brk + 1 < bytes.size() && bytes[brk + 1] == '\n') ? 2 : 1);
        if (nextCr != npos && nextCr < pos) {
            nextCr = next('\r', pos);
        }
        if (nextLf != npos && nextLf < pos) {
            nextLf = next('\n', pos);
        }
    }
    return text;
}

bool FetchPage(SearchContext& ctx, const std::string& url, PageBuffer& page) {
    SearchHost& host = ctx.host;
    net::HttpClient& http = ctx.http;
    if (host.stopRequested()) {
        return false;
    }
    // The body stays in memory: nothing in the program folder to collide
    // with another run, to fail in a read-only installation or to be
    // redirected by a planted link.
    net::MemoryStream body;
    bool ok = false;
    try {
        host.setMainStatus(GettingUrlText(http, url));
        host.setGaugeValue(0);
        http.Request.Pragma = "no-cache";
        http.Request.CacheControl = "no-cache";
        net::BoundedStream bounded(body, kMaxPageBytes, "Result page larger than the page limit");
        http.GetToStream(url, bounded);
        http.Disconnect();
        if (host.stopRequested()) {
            host.setMainStatus(std::string(texts::kStoppedAfterDownload));
        } else {
            // The passes cut and clean UTF-8; a page in another charset is
            // converted first, and a UTF-8 or undeclared page stays as it came.
            const std::string& bytes = body.data();
            const std::string charset = DeclaredCharset(http.responseHeader("Content-Type"), bytes);
            page.assign(PageTextFromBytes(ToUtf8(bytes, charset)));
            host.setMainStatus(std::string(texts::kPageDone));
            ok = true;
        }
    } catch (const std::exception& e) {
        DisconnectQuietly(http);
        host.setMainStatus(host.stopRequested() ? std::string(texts::kStopped)
                                                : FetchFailureText(e));
        host.processEvents();
    }
    return ok;
}

}  // namespace search
