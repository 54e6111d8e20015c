#include <gtest/gtest.h>

#include "app/message_dialog.h"
#include "app/save_dialog.h"

namespace {

TEST(SaveDialog, AppendsTheFilterExtensionUnlessPresent) {
    const std::string filter = "Comma delimited (*.csv)|*.csv";
    const struct {
        std::optional<std::string> chosen;
        std::optional<std::string> path;
    } cases[] = {
        {.chosen = "/tmp/results", .path = "/tmp/results.csv"},
        {.chosen = "/tmp/data.CSV", .path = "/tmp/data.CSV"},
        {.chosen = "/tmp/data.csv", .path = "/tmp/data.csv"},
        {.chosen = "/tmp/data.txt", .path = "/tmp/data.txt.csv"},
        {.chosen = "/tmp/a.csvx", .path = "/tmp/a.csvx.csv"},
        {.chosen = "/tmp/csv", .path = "/tmp/csv.csv"},
        {.chosen = std::nullopt, .path = std::nullopt},
    };
    app::ScriptedSaveDialog dialog;
    for (const auto& c : cases) {
        dialog.answer(c.chosen);
        EXPECT_EQ(dialog.ask("Export all data", filter), c.path) << c.chosen.value_or("cancel");
    }
    EXPECT_EQ(dialog.ask("Export all data", filter), std::nullopt) << "empty queue cancels";
    ASSERT_EQ(dialog.asked().size(), std::size(cases) + 1);
    EXPECT_EQ(dialog.asked()[0].title, "Export all data");
    EXPECT_EQ(dialog.asked()[0].filter, filter);

    // A filter without a plain "*.ext" mask adds nothing.
    dialog.answer("/tmp/any");
    EXPECT_EQ(dialog.ask("t", "All files|*"), "/tmp/any");
}

TEST(ScriptedMessageDialog, AnswersInOrderThenRefuses) {
    app::ScriptedMessageDialog dialog;
    dialog.answer(true);
    dialog.answer(false);
    using K = app::MessageDialog::Kind;
    using B = app::MessageDialog::Buttons;
    EXPECT_TRUE(dialog.show(K::Warning, "one", B::OkCancel));
    EXPECT_FALSE(dialog.show(K::Information, "two", B::Ok));
    EXPECT_FALSE(dialog.show(K::Warning, "three", B::OkCancel));
    EXPECT_EQ(dialog.texts(), (std::vector<std::string>{"one", "two", "three"}));
    EXPECT_EQ(dialog.shown()[1].kind, K::Information);
}

}  // namespace
