#include <charconv>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "publisher/news_client.h"
#include "publisher/news_notification.h"

namespace {

void Require(bool condition) {
    if (!condition) {
        std::abort();
    }
}

// A news id read the long way: an optional sign, decimal digits and nothing
// else, within the signed 32-bit range.
std::int32_t ReferenceIdNumber(std::string_view text) {
    std::size_t digitsFrom = 0;
    bool negative = false;
    if (!text.empty() && (text.front() == '+' || text.front() == '-')) {
        negative = text.front() == '-';
        digitsFrom = 1;
    }
    if (digitsFrom == text.size()) {
        return 0;
    }
    std::int64_t value = 0;
    for (std::size_t i = digitsFrom; i < text.size(); ++i) {
        if (text[i] < '0' || text[i] > '9') {
            return 0;
        }
        value = value * 10 + (text[i] - '0');
        if (value > std::int64_t{1} << 32) {
            return 0;
        }
    }
    value = negative ? -value : value;
    if (value < INT32_MIN || value > INT32_MAX) {
        return 0;
    }
    return static_cast<std::int32_t>(value);
}

}  // namespace

// Every reader of a news reply, on any bytes a server could send: records and
// fields never hold their own separators, an error reply always has a kind,
// and a news id is a number exactly when it reads as one.
extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view raw(reinterpret_cast<const char*>(data), size);
    const std::string reply = publisher::NewsReplyText(raw);
    Require(reply.empty() || (static_cast<unsigned char>(reply.front()) > 0x20 &&
                              static_cast<unsigned char>(reply.back()) > 0x20));

    if (!publisher::IsNewsSuccess(reply)) {
        const publisher::NewsError error = publisher::NewsErrorOf(reply);
        Require((error == publisher::NewsError::Unknown) ==
                publisher::NewsErrorText(error).empty());
        Require(!reply.empty() || error == publisher::NewsError::NoReply);
    }

    for (const std::string& record : publisher::NewsListRecords(reply)) {
        Require(!record.empty() && record != "OK" && record.find('\xAF') == std::string::npos);
    }
    if (const auto item = publisher::LastNewsItemOf(reply)) {
        Require(item->id.find('^') == std::string::npos);
        Require(item->title.find('^') == std::string::npos);
        Require(publisher::NewsIdNumber(item->id) == ReferenceIdNumber(item->id));
        Require(publisher::NewsHintText(item->title).ends_with(item->title));
    }
    publisher::NewsDetailsHtml(reply);

    Require(publisher::NewsIdNumber(raw) == ReferenceIdNumber(raw));
    const std::size_t half = raw.size() / 2;
    Require(publisher::ShowsNewsHint(raw.substr(0, half), raw.substr(half)) ==
            (ReferenceIdNumber(raw.substr(0, half)) > ReferenceIdNumber(raw.substr(half))));
    return 0;
}
