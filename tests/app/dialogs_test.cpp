#include <gtest/gtest.h>

#include "app/message_dialog.h"
#include "app/save_dialog.h"
#include "app/window_texts.h"

namespace {

TEST(SaveDialog, AppendsTheChosenTypesExtensionUnlessPresent) {
    const std::string filter = app::texts::kExportFilter;
    const struct {
        std::optional<std::string> chosen;
        std::size_t fileType;
        std::optional<std::string> path;
    } cases[] = {
        {.chosen = "/tmp/results", .fileType = 0, .path = "/tmp/results.csv"},
        {.chosen = "/tmp/results", .fileType = 1, .path = "/tmp/results.csv"},
        {.chosen = "/tmp/data.CSV", .fileType = 0, .path = "/tmp/data.CSV"},
        {.chosen = "/tmp/data.csv", .fileType = 1, .path = "/tmp/data.csv"},
        {.chosen = "/tmp/data.txt", .fileType = 0, .path = "/tmp/data.txt.csv"},
        {.chosen = "/tmp/a.csvx", .fileType = 1, .path = "/tmp/a.csvx.csv"},
        {.chosen = "/tmp/csv", .fileType = 0, .path = "/tmp/csv.csv"},
        {.chosen = std::nullopt, .fileType = 0, .path = std::nullopt},
    };
    app::ScriptedSaveDialog dialog;
    for (const auto& c : cases) {
        dialog.answer(c.chosen, c.fileType);
        const auto choice = dialog.ask("Export all data", filter, "/home/u/cars-2024-05-01.csv");
        ASSERT_EQ(choice.has_value(), c.path.has_value()) << c.chosen.value_or("cancel");
        if (choice) {
            EXPECT_EQ(choice->path, *c.path);
            EXPECT_EQ(choice->fileType, c.fileType);
        }
    }
    EXPECT_EQ(dialog.ask("Export all data", filter, ""), std::nullopt) << "empty queue cancels";
    ASSERT_EQ(dialog.asked().size(), std::size(cases) + 1);
    EXPECT_EQ(dialog.asked()[0].title, "Export all data");
    EXPECT_EQ(dialog.asked()[0].filter, filter);
    EXPECT_EQ(dialog.asked()[0].suggestedPath, "/home/u/cars-2024-05-01.csv");
}

TEST(SaveDialog, OnlyAPlainMaskOfTheChosenTypeAddsAnExtension) {
    const struct {
        const char* filter;
        std::size_t fileType;
        const char* path;
    } cases[] = {
        {.filter = "All files|*", .fileType = 0, .path = "/tmp/any"},
        {.filter = "No mask at all", .fileType = 0, .path = "/tmp/any"},
        {.filter = "Several|*.csv;*.txt", .fileType = 0, .path = "/tmp/any"},
        {.filter = "Text|*.txt|All files|*", .fileType = 0, .path = "/tmp/any.txt"},
        {.filter = "Text|*.txt|All files|*", .fileType = 1, .path = "/tmp/any"},
        // A type the filter does not have (a dialog gone wrong) adds nothing.
        {.filter = "Text|*.txt", .fileType = 5, .path = "/tmp/any"},
    };
    app::ScriptedSaveDialog dialog;
    for (const auto& c : cases) {
        dialog.answer("/tmp/any", c.fileType);
        const auto choice = dialog.ask("t", c.filter, "");
        ASSERT_TRUE(choice.has_value()) << c.filter;
        EXPECT_EQ(choice->path, c.path) << c.filter << " type " << c.fileType;
    }
}

TEST(ScriptedMessageDialog, AnswersInOrderThenRefuses) {
    app::ScriptedMessageDialog dialog;
    dialog.answer(true);
    dialog.answer(false);
    dialog.answer(true, true);
    using K = app::MessageDialog::Kind;
    using B = app::MessageDialog::Buttons;
    EXPECT_TRUE(dialog.show(K::Warning, "one", B::OkCancel));
    EXPECT_FALSE(dialog.show(K::Information, "two", B::Ok));
    bool checked = false;
    EXPECT_TRUE(
        dialog.showWithCheckBox(K::Question, "three", B::YesNo, "Don't ask again", checked));
    EXPECT_TRUE(checked);
    checked = true;
    EXPECT_FALSE(
        dialog.showWithCheckBox(K::Question, "four", B::YesNo, "Don't ask again", checked));
    EXPECT_FALSE(checked) << "an unanswered box leaves its check box unchecked";
    EXPECT_EQ(dialog.texts(), (std::vector<std::string>{"one", "two", "three", "four"}));
    EXPECT_EQ(dialog.shown()[1].kind, K::Information);
    EXPECT_EQ(dialog.shown()[1].checkBoxText, "");
    EXPECT_EQ(dialog.shown()[2].checkBoxText, "Don't ask again");
    EXPECT_EQ(dialog.shown()[2].buttons, B::YesNo);
}

}  // namespace
