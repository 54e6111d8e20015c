#include "net/form_data_body.h"

#include <sys/time.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <ctime>

namespace net {

namespace {

constexpr std::string_view kDispositionStart = "Content-Disposition: form-data; name=\"";
constexpr std::string_view kCrlf = "\r\n";

// "mmddyyhhnnsszzz" of the local time now: the boundary only has to differ from
// anything a form value is likely to contain, and the time makes it vary.
std::string boundaryNow() {
    timeval tv{};
    ::gettimeofday(&tv, nullptr);
    std::tm local{};
    const std::time_t seconds = tv.tv_sec;
    ::localtime_r(&seconds, &local);
    char text[96];
    std::snprintf(text, sizeof text, "--------%02d%02d%02d%02d%02d%02d%03d", local.tm_mon + 1,
                  local.tm_mday, local.tm_year % 100, local.tm_hour, local.tm_min, local.tm_sec,
                  static_cast<int>(tv.tv_usec / 1000));
    return text;
}

}  // namespace

FormDataBody::FormDataBody() : boundary_(boundaryNow()) {}

void FormDataBody::AddField(std::string name, std::string value) {
    fields_.emplace_back(std::move(name), std::move(value));
}

std::string FormDataBody::contentType() const {
    return "multipart/form-data; boundary=" + boundary_;
}

std::uint64_t FormDataBody::contentLength() const {
    std::uint64_t total = 0;
    for (const auto& [name, value] : fields_) {
        // "--" boundary CRLF, disposition line with the name and its closing quote, CRLF,
        // CRLF, the value, CRLF.
        total += 2 + boundary_.size() + 2 + kDispositionStart.size() + name.size() + 1 + 2 + 2 +
                 value.size() + 2;
    }
    // CRLF "--" boundary "--" CRLF
    return total + 2 + 2 + boundary_.size() + 2 + 2;
}

FormDataBodyReader::FormDataBodyReader(const FormDataBody& body) : body_(body) {}

std::string_view FormDataBodyReader::segment(std::size_t index) const {
    const auto& fields = body_.fields();
    const std::size_t field = index / kSegmentsPerField;
    if (field < fields.size()) {
        switch (index % kSegmentsPerField) {
            case 0:
                return "--";
            case 1:
                return body_.boundary();
            case 2:
                return kCrlf;
            case 3:
                return kDispositionStart;
            case 4:
                return fields[field].first;
            case 5:
                return "\"\r\n\r\n";
            case 6:
                return fields[field].second;
            default:
                return kCrlf;
        }
    }
    switch (index - fields.size() * kSegmentsPerField) {
        case 0:
            return "\r\n--";
        case 1:
            return body_.boundary();
        case 2:
            return "--\r\n";
        default:
            return {};
    }
}

std::size_t FormDataBodyReader::read(char* out, std::size_t max) {
    const std::size_t lastSegment = body_.fields().size() * kSegmentsPerField + 3;
    std::size_t written = 0;
    while (written < max && segment_ < lastSegment) {
        const std::string_view part = segment(segment_);
        const std::size_t n = std::min(max - written, part.size() - offset_);
        std::memcpy(out + written, part.data() + offset_, n);
        written += n;
        offset_ += n;
        if (offset_ == part.size()) {
            ++segment_;
            offset_ = 0;
        }
    }
    return written;
}

}  // namespace net
