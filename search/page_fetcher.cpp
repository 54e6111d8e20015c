#include "search/page_fetcher.h"

#include <cstdio>
#include <exception>
#include <mutex>
#include <random>
#include <stdexcept>

#include "net/http_client.h"
#include "net/stream.h"
#include "util/line_file.h"

namespace search {
namespace {

constexpr int kTempNameRange = 1000;  // test0.html .. test999.html

// Refuses to let a page grow past kMaxPageBytes; the download then fails
// like any broken transfer.
class BoundedStream final : public net::OutputStream {
public:
    explicit BoundedStream(net::OutputStream& inner) : inner_(inner) {}
    std::uint64_t position() const override { return inner_.position(); }
    std::uint64_t size() const override { return inner_.size(); }
    void seek(std::uint64_t pos) override { inner_.seek(pos); }
    void resize(std::uint64_t newSize) override {
        check(newSize);
        inner_.resize(newSize);
    }
    void write(const char* data, std::size_t len) override {
        check(inner_.position() + len);
        inner_.write(data, len);
    }

private:
    static void check(std::uint64_t size) {
        if (size > kMaxPageBytes) {
            throw std::runtime_error("Result page larger than the page limit");
        }
    }
    net::OutputStream& inner_;
};

// Deletes the page file on every way out; a failed deletion is ignored.
class RemoveOnExit {
public:
    explicit RemoveOnExit(std::string path) : path_(std::move(path)) {}
    ~RemoveOnExit() { std::remove(path_.c_str()); }
    RemoveOnExit(const RemoveOnExit&) = delete;
    RemoveOnExit& operator=(const RemoveOnExit&) = delete;

private:
    std::string path_;
};

void DisconnectQuietly(net::HttpClient& http) {
    try {
        http.Disconnect();
    } catch (const std::exception&) {
        // Disconnecting is cleanup; the caller's own outcome stands.
    }
}

}  // namespace

std::string TempPageFileName(const std::string& folder) {
    static std::mutex lock;
    static std::minstd_rand generator{std::random_device{}()};
    std::uniform_int_distribution<int> pick(0, kTempNameRange - 1);
    std::lock_guard<std::mutex> guard(lock);
    return folder + "test" + std::to_string(pick(generator)) + ".html";
}

bool FetchPage(SearchContext& ctx, const std::string& url, PageBuffer& page) {
    SearchHost& host = ctx.host;
    net::HttpClient& http = ctx.http;
    if (host.stopRequested()) {
        return false;
    }
    const std::string path = TempPageFileName(host.programFolder());
    net::FileStream file(path);  // a failure here ends the whole run
    RemoveOnExit removeFile(path);
    bool fileOpen = true;
    bool ok = false;
    try {
        host.setMainStatus("Getting URL: " + url + "...");
        host.setGaugeValue(0);
        http.Request.Pragma = "no-cache";
        http.Request.CacheControl = "no-cache";
        BoundedStream bounded(file);
        http.GetToStream(url, bounded);
        fileOpen = false;
        file.close();
        http.Disconnect();
        if (host.stopRequested()) {
            host.setMainStatus("Process aborted by user.");
        } else {
            std::string text = util::JoinLinesCrLf(util::ReadLineFile(path));
            page.assign(std::move(text));
            host.setMainStatus("Process completed sucessfull!");
            ok = true;
        }
    } catch (const std::exception&) {
        DisconnectQuietly(http);
        if (fileOpen) {
            try {
                file.close();
            } catch (const std::exception&) {
                // The file goes away below in any case.
            }
        }
        host.setMainStatus(host.stopRequested()
                               ? "Proccess aborted by user."
                               : "Connection error, check if you are connected and url exists.");
        host.processEvents();
        ok = false;
    }
    return ok;
}

}  // namespace search
