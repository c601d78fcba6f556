#include "strings/StringTable.h"

#include <gtest/gtest.h>

namespace lumivanta {
namespace {

TEST(StringTable, UnknownNumbersGiveNothing) {
  EXPECT_TRUE(LoadText(ids::kWelcome).has_value());
  EXPECT_FALSE(LoadText(0).has_value());
  EXPECT_FALSE(LoadText(132).has_value());
  EXPECT_FALSE(LoadText(99999).has_value());
  EXPECT_TRUE(Text(132).empty());
}

TEST(StringTable, HotkeysTakeTheirKeyFromTheLastCharacterOfTheKeyText) {
  const unsigned key_texts[] = {ids::kKeyPublish, ids::kKeySlideshow, ids::kKeyMouseCursor,
                                ids::kKeyOptions, ids::kKeyDelete,    ids::kKeyRestore};
  std::string keys;
  for (unsigned id : key_texts) {
    ASSERT_TRUE(Text(id).starts_with("CTRL+"));
    keys += Text(id).back();
  }
  EXPECT_EQ(keys, "PSMODR");
}

TEST(StringTable, CommandTextsCarryATooltipAfterTheLineBreak) {
  const unsigned commands[] = {ids::kCommandPublish, ids::kCommandSlideshow,       ids::kCommandDeletePictures,
                               ids::kCommandExit,    ids::kCommandShowMouseCursor, ids::kCommandOptions,
                               ids::kCommandAbout};
  for (unsigned id : commands) {
    const std::string_view text = Text(id);
    const auto line_break = text.find('\n');
    ASSERT_NE(line_break, std::string_view::npos) << id;
    EXPECT_FALSE(text.substr(line_break + 1).empty()) << id;
  }
  EXPECT_TRUE(Text(ids::kCommandExit).ends_with("\nExit"));
  EXPECT_TRUE(Text(ids::kCommandAbout).ends_with("\nInfo"));
}

}  // namespace
}  // namespace lumivanta
