// How the demo engine reads the keyword of a request: decoded as a server
// decodes a form-encoded value, with a tail of control parameters (for tests
// and demos) taken off only when nothing but control parameters follow.
#include <gtest/gtest.h>

#include "tools/demo_engine/demo_pages.h"

namespace demo {
namespace {

struct QueryCase {
    const char* name;
    const char* target;
    const char* keyword;
    const char* keywordParam;
    std::int64_t pageLimit;
};

class DemoKeyword : public ::testing::TestWithParam<QueryCase> {};

TEST_P(DemoKeyword, IsDecodedAsAServerDoes) {
    const auto query = ParseDemoTarget(GetParam().target, 10);
    ASSERT_TRUE(query.has_value());
    EXPECT_EQ(query->keyword, GetParam().keyword);
    EXPECT_EQ(query->keywordParam, GetParam().keywordParam);
    EXPECT_EQ(query->pageLimit, GetParam().pageLimit);
}

INSTANTIATE_TEST_SUITE_P(Cases, DemoKeyword,
                         ::testing::Values(QueryCase{.name = "Ampersand",
                                                     .target = "/search?as_q=AT%26T&num=100",
                                                     .keyword = "AT&T",
                                                     .keywordParam = "AT%26T",
                                                     .pageLimit = 10},
                                           QueryCase{.name = "PlusAndPercent",
                                                     .target = "/search?p=used+cars+100%25",
                                                     .keyword = "used cars 100%",
                                                     .keywordParam = "used+cars+100%25",
                                                     .pageLimit = 10},
                                           QueryCase{.name = "ControlTail",
                                                     .target = "/search?as_q=cars%26pages%3D3",
                                                     .keyword = "cars",
                                                     .keywordParam = "cars",
                                                     .pageLimit = 3},
                                           QueryCase{.name = "AmpersandThenControlTail",
                                                     .target = "/results.aspx?q=Q%26A%26pages%3D2",
                                                     .keyword = "Q&A",
                                                     .keywordParam = "Q%26A",
                                                     .pageLimit = 2},
                                           QueryCase{
                                               .name = "TailWithOtherParameters",
                                               .target = "/search?as_q=R%26D%26pages%3D2%26x%3D1",
                                               .keyword = "R&D&pages=2&x=1",
                                               .keywordParam = "R%26D%26pages%3D2%26x%3D1",
                                               .pageLimit = 10}),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace demo
