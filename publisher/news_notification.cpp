#include "publisher/news_notification.h"

#include <sys/stat.h>

#include <optional>
#include <vector>

#include "publisher/publisher_texts.h"
#include "util/line_file.h"
#include "util/settings_file.h"
#include "util/take_between.h"

namespace publisher {
namespace {

constexpr std::string_view kStartTag = "<%%LastNewsId%%>";
constexpr std::string_view kEndTag = "<%%/LastNewsId%%>";

bool Exists(const std::string& path) {
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0;
}

}  // namespace

bool ShowsNewsHint(std::string_view newestId, std::string_view storedId) {
    return NewsIdNumber(newestId) > NewsIdNumber(storedId);
}

std::string NewsHintText(std::string_view title) {
    std::string text(texts::kNewsHint);
    text += title;
    return text;
}

std::string ReadLastNewsId(const std::string& settingsPath) {
    if (!Exists(settingsPath)) {
        return {};
    }
    const std::optional<std::string> plain = util::DecryptSettingsText(settingsPath);
    if (!plain) {
        return {};
    }
    std::string working = util::JoinLinesCrLf(util::SplitLines(*plain));
    return util::TakeBetween(kStartTag, kEndTag, 0, working);
}

void StoreLastNewsId(const std::string& settingsPath, std::string_view id) {
    if (!ParseNewsId(id) || !Exists(settingsPath)) {
        return;
    }
    const std::optional<std::string> plain = util::DecryptSettingsText(settingsPath);
    // A file that is not authentic is left as it is: writing it back would
    // turn whatever it holds into a "valid" brand.
    if (!plain) {
        return;
    }
    std::vector<std::string> lines = util::SplitLines(*plain);
    std::string element(kStartTag);
    element += id;
    element += kEndTag;
    bool replaced = false;
    for (std::string& line : lines) {
        if (line.find(kStartTag) != std::string::npos) {
            line = element;
            replaced = true;
            break;
        }
    }
    if (!replaced) {
        lines.push_back(std::move(element));
    }
    util::ReplaceSettingsFile(settingsPath, util::JoinLinesCrLf(lines));
}

std::optional<std::string> CheckLastNews(NewsClient& news, const NewsBrand& brand,
                                         const std::string& settingsPath) {
    const std::optional<NewsTier> tier = ActiveNewsTier(brand);
    if (!tier) {
        return std::nullopt;
    }
    std::string newsId;
    std::string title;
    if (!news.FetchLastNews(tier->publisherId, brand.BranderCode, tier->productType,
                            std::string(kNewsTarget), newsId, title, true)) {
        return std::nullopt;
    }
    if (!ShowsNewsHint(newsId, ReadLastNewsId(settingsPath))) {
        return std::nullopt;
    }
    return NewsHintText(title);
}

}  // namespace publisher
