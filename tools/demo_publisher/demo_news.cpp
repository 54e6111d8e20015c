#include "tools/demo_publisher/demo_news.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <optional>

namespace demo {
namespace {

constexpr std::string_view kReplyEnd = "\xAFOK";

HttpReply Text(std::string body) {
    HttpReply reply;
    reply.body = std::move(body);
    return reply;
}

HttpReply NotFound() {
    return HttpReply{404, "Not Found", "text/html", "<h1>Not Found</h1>"};
}

std::vector<std::string_view> PathSegments(std::string_view path) {
    std::vector<std::string_view> segments;
    while (!path.empty()) {
        const auto slash = path.find('/');
        segments.push_back(path.substr(0, slash));
        if (slash == std::string_view::npos) {
            break;
        }
        path.remove_prefix(slash + 1);
    }
    return segments;
}

std::optional<HttpReply> FailureAsked(const std::vector<std::string_view>& segments) {
    for (std::size_t i = 0; i + 1 < segments.size(); ++i) {
        if (segments[i] != "fail") {
            continue;
        }
        const std::string_view code = segments[i + 1];
        if (code == "CONNECTIONFAIL" || code == "INVALIDUSER" || code == "INVALIDPRODUCT" ||
            code == "INVALIDNEWS") {
            return Text(std::string(code));
        }
        if (code == "EMPTY") {
            return Text("");
        }
        if (code == "500") {
            return HttpReply{500, "Internal Server Error", "text/html", "<h1>Trouble</h1>"};
        }
        return NotFound();
    }
    return std::nullopt;
}

// The first limit bytes at most of a regular file; nullopt when it cannot be
// read or is larger.
std::optional<std::string> ReadSmallFile(const std::string& path, std::size_t limit) {
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0) {
        return std::nullopt;
    }
    std::optional<std::string> text;
    struct stat st {};
    if (::fstat(fd, &st) == 0 && S_ISREG(st.st_mode) &&
        static_cast<std::uint64_t>(st.st_size) <= limit) {
        std::string data;
        char buffer[65536];
        for (;;) {
            const ssize_t n = ::read(fd, buffer, sizeof buffer);
            if (n < 0 && errno == EINTR) {
                continue;
            }
            if (n == 0) {
                text = std::move(data);
            }
            if (n <= 0 || data.size() + static_cast<std::size_t>(n) > limit) {
                break;
            }
            data.append(buffer, static_cast<std::size_t>(n));
        }
    }
    ::close(fd);
    return text;
}

std::string FieldValue(const std::vector<std::pair<std::string, std::string>>& fields,
                       std::string_view name) {
    for (const auto& [key, value] : fields) {
        if (key == name) {
            return value;
        }
    }
    return {};
}

HttpReply NewsReply(const HttpRequest& request, std::string_view document) {
    const auto fields = ParseFormFields(request.header("Content-Type"), request.body);
    if (FieldValue(fields, "memusername") != kDemoPublisherId) {
        return Text("INVALIDUSER");
    }
    const std::string prodType = FieldValue(fields, "prodtype");
    if (prodType != "BM" && prodType != "BP" && prodType != "BG") {
        return Text("INVALIDPRODUCT");
    }
    const auto& items = DemoNewsItems();
    if (document == "getnewsdetails.php") {
        const std::string id = FieldValue(fields, "newsid");
        for (const NewsItem& item : items) {
            if (item.id == id) {
                return Text(EscapeDollarHex(item.html) + std::string(kReplyEnd));
            }
        }
        return Text("INVALIDNEWS");
    }
    const std::string content = FieldValue(fields, "conttype");
    if (content == "lastcode") {
        return Text(items.front().id + "^" + items.front().title + std::string(kReplyEnd));
    }
    if (content == "all") {
        std::string body;
        for (const NewsItem& item : items) {
            body += item.id + "^" + item.title + "^" + item.published + "\xAF";
        }
        return Text(body + "OK");
    }
    return Text("CONNECTIONFAIL");
}

HttpReply DescriptorReply(const PublisherOptions& options) {
    if (options.folder.empty()) {
        HttpReply reply = Text(std::string(kBuiltInDescriptor));
        reply.contentType = "text/plain";
        return reply;
    }
    std::optional<std::string> text =
        ReadSmallFile(options.folder + "/mainappupdate.inf", kMaxServedFile);
    if (!text) {
        return NotFound();
    }
    HttpReply reply = Text(std::move(*text));
    reply.contentType = "text/plain";
    return reply;
}

}  // namespace

const std::vector<NewsItem>& DemoNewsItems() {
    static const std::vector<NewsItem> items = {
        {"3", "Zorvane 3.0 is ready: OK to update", "2026-12-01",
         "<h2>Zorvane 3.0 is ready</h2><p>Faster harvesting, a news window and live update. "
         "Press <b>Update</b> to get it; it costs $0.</p>"},
        {"2", "Caf\xE9 talk: five engines, one grid", "2026-11-15",
         "<h2>Caf\xE9 talk</h2><p>Google, Yahoo, Live, AltaVista and backlinks &mdash; "
         "all in one grid, exported with one click.</p>"},
        {"1", "Welcome to the Zorvane news", "2026-11-01",
         "<h2>Welcome</h2><p>News from your provider shows up here.</p>"},
    };
    return items;
}

std::string EscapeDollarHex(std::string_view text) {
    static constexpr char kHex[] = "0123456789ABCDEF";
    std::string out;
    for (const char c : text) {
        const auto byte = static_cast<unsigned char>(c);
        if ((c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') ||
            c == ' ') {
            out += c;
        } else {
            out += '$';
            out += kHex[byte >> 4];
            out += kHex[byte & 0x0F];
        }
    }
    return out;
}

std::vector<std::pair<std::string, std::string>> ParseFormFields(std::string_view contentType,
                                                                 std::string_view body) {
    std::vector<std::pair<std::string, std::string>> fields;
    const auto at = contentType.find("boundary=");
    if (at == std::string_view::npos) {
        return fields;
    }
    std::string_view boundary = contentType.substr(at + 9);
    boundary = boundary.substr(0, boundary.find(';'));
    if (boundary.size() >= 2 && boundary.front() == '"' && boundary.back() == '"') {
        boundary = boundary.substr(1, boundary.size() - 2);
    }
    if (boundary.empty()) {
        return fields;
    }
    const std::string delimiter = "--" + std::string(boundary);
    // Every part starts after a delimiter line and ends at CRLF + delimiter.
    std::size_t pos = body.find(delimiter);
    while (pos != std::string_view::npos) {
        pos += delimiter.size();
        if (body.substr(pos, 2) == "--") {
            break;
        }
        const auto headEnd = body.find("\r\n\r\n", pos);
        if (headEnd == std::string_view::npos) {
            break;
        }
        const std::string_view head = body.substr(pos, headEnd - pos);
        const std::size_t valueStart = headEnd + 4;
        const auto next = body.find("\r\n" + delimiter, valueStart);
        if (next == std::string_view::npos) {
            break;
        }
        const auto nameAt = head.find("name=\"");
        if (nameAt != std::string_view::npos) {
            const std::string_view rest = head.substr(nameAt + 6);
            fields.emplace_back(std::string(rest.substr(0, rest.find('"'))),
                                std::string(body.substr(valueStart, next - valueStart)));
        }
        pos = next + 2;
    }
    return fields;
}

HttpReply PublisherReply(const HttpRequest& request, const PublisherOptions& options) {
    const std::string_view target = request.target;
    const std::string_view path = target.substr(0, target.find('?'));
    const std::vector<std::string_view> segments = PathSegments(path);
    if (segments.empty()) {
        return NotFound();
    }
    if (auto failure = FailureAsked(segments)) {
        return *failure;
    }
    const std::string_view document = segments.back();
    if (document == "getlastnews.php" || document == "getnewsdetails.php") {
        return NewsReply(request, document);
    }
    if (document == "mainappupdate.inf") {
        return DescriptorReply(options);
    }
    return NotFound();
}

}  // namespace demo
