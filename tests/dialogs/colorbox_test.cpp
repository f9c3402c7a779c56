// The colour box: named entries, the default entry and the custom entry with its chooser.
#include <gtest/gtest.h>

#include <optional>

#include "colorbox.h"

namespace {

struct ColorBoxTest : ::testing::Test {
    TColorBox box{QColor(28, 240, 171)};
    std::vector<QColor> changes;
    std::optional<QColor> offered;  // what the chooser was started from
    QColor answer;                  // what the chooser answers; invalid: cancelled

    ColorBoxTest() {
        box.OnChange = [this](const QColor& c) { changes.push_back(c); };
        box.ChooseColor = [this](const QColor& initial, QWidget*) {
            offered = initial;
            return answer;
        };
    }
    void choose(int index) {
        box.setCurrentIndex(index);
        emit box.activated(index);
    }
};

TEST_F(ColorBoxTest, ReadableNamesAfterCustomAndDefault) {
    EXPECT_EQ(box.itemText(TColorBox::kCustomIndex), "Custom...");
    EXPECT_EQ(box.itemText(TColorBox::kDefaultIndex), "Default");
    EXPECT_EQ(box.findText("Money Green"), 18);
    EXPECT_EQ(box.count(), 22);
}

TEST_F(ColorBoxTest, SelectsTheFirstEntryOfAColour) {
    box.SetSelected(QColor(28, 240, 171));
    EXPECT_EQ(box.currentIndex(), TColorBox::kDefaultIndex);
    box.SetSelected(QColor(0x80, 0, 0));
    EXPECT_EQ(box.currentText(), "Maroon");
    EXPECT_TRUE(changes.empty());  // only the user's choices are reported
}

TEST_F(ColorBoxTest, AColourWithoutANameBecomesTheCustomEntry) {
    box.SetSelected(QColor(1, 2, 3));
    EXPECT_EQ(box.currentIndex(), TColorBox::kCustomIndex);
    EXPECT_EQ(box.Selected(), QColor(1, 2, 3));
}

TEST_F(ColorBoxTest, ChoosingANamedColourReportsIt) {
    choose(box.findText("Navy"));
    ASSERT_EQ(changes.size(), 1u);
    EXPECT_EQ(changes[0], QColor(0, 0, 0x80));
    EXPECT_FALSE(offered.has_value());
}

TEST_F(ColorBoxTest, CustomEntryAsksFromTheCurrentColourAndReportsTheAnswer) {
    box.SetSelected(QColor(0xFF, 0xFF, 0));
    answer = QColor(10, 20, 30);
    choose(TColorBox::kCustomIndex);
    EXPECT_EQ(offered, QColor(0xFF, 0xFF, 0));
    ASSERT_EQ(changes.size(), 1u);
    EXPECT_EQ(changes[0], QColor(10, 20, 30));
    EXPECT_EQ(box.Selected(), QColor(10, 20, 30));
}

TEST_F(ColorBoxTest, CancelledChooserKeepsThePreviousChoice) {
    box.SetSelected(QColor(0xFF, 0, 0));
    choose(TColorBox::kCustomIndex);
    EXPECT_TRUE(changes.empty());
    EXPECT_EQ(box.currentText(), "Red");
}

}  // namespace
