#pragma once

// The start-up news hint's rule and the record of the last news item read,
// the LastNewsId element of the brand's encrypted settings file.

#include <optional>
#include <string>
#include <string_view>

#include "publisher/news_brand.h"
#include "publisher/news_client.h"
#include "publisher/news_id.h"

namespace publisher {

// Whether the newest item is unread: its id, as a number, is strictly
// greater than the stored one.
bool ShowsNewsHint(std::string_view newestId, std::string_view storedId);

// "You've Got A Message!", a line break and the title as the service sent it.
std::string NewsHintText(std::string_view title);

// The LastNewsId stored in the settings file at settingsPath (tags matched
// without regard to case); empty when the file is missing or not authentic,
// or holds no complete element. Throws util::SettingsFileError when the file
// exists but cannot be read.
std::string ReadLastNewsId(const std::string& settingsPath);

// Writes id into the settings file at settingsPath: the first line holding
// "<%%LastNewsId%%>" is replaced by the element, else the element is
// appended as a last line. The file is replaced as a whole and only when it
// was authentic, so a failure never leaves a damaged brand; a missing file
// stays missing, and only a news id (ParseNewsId) is stored: any other text
// is one the hint rule reads as 0 anyway, and could grow the brand without
// end or plant other settings. Throws util::SettingsFileError when the file
// cannot be read or replaced.
void StoreLastNewsId(const std::string& settingsPath, std::string_view id);

// The start-up check up to the hint: the active tier's last-news request,
// silent, then the comparison with the stored LastNewsId. The hint text when
// the newest item is unread; nullopt without an active tier, after a failed
// request or when the item was read. Never writes LastNewsId. Throws
// util::SettingsFileError when the settings file cannot be read.
std::optional<std::string> CheckLastNews(NewsClient& news, const NewsBrand& brand,
                                         const std::string& settingsPath);

}  // namespace publisher
