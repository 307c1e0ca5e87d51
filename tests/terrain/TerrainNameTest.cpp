#include "terrain/TerrainName.h"

#include <gtest/gtest.h>

namespace
{
const char* kUnsafe = "Terrain names cannot contain /, \\, \"..\" or control characters.";

TEST(TerrainNameTest, TypedNamesThatLeaveTheFolderOrAreBlankAreRefused)
{
    const std::pair<std::string, std::string> cases[] = {{"hills", ""},
                                                         {"my hills 2", ""},
                                                         {"v1.2", ""},
                                                         {".hidden", ""},
                                                         {"", "Enter terrain name"},
                                                         {"  \t ", "Enter terrain name"},
                                                         {"../../x", kUnsafe},
                                                         {"a/b", kUnsafe},
                                                         {"a\\b", kUnsafe},
                                                         {"..", kUnsafe},
                                                         {"x..y", kUnsafe},
                                                         {std::string("bell\a"), kUnsafe},
                                                         {"line\nbreak", kUnsafe},
                                                         {std::string("nul\0x", 5), kUnsafe},
                                                         {"del\x7f", kUnsafe}};
    for (const auto& [name, problem] : cases)
        EXPECT_EQ(TerrainName::Problem(name), problem) << name;
}

// Names read from files are made usable instead of refused; what comes out always passes the check.
TEST(TerrainNameTest, NamesFromFilesAreMadeSafe)
{
    const std::tuple<std::string, std::string, std::string> cases[] = {
        {"hills", "file", "hills"},
        {"../../x", "file", "______x"},
        {"a/b\\c", "", "a_b_c"},
        {"...", "", "__."},
        {std::string("tab\there\r"), "", "tab_here_"},
        {"", "valley", "valley"}, // a header without its name word: the file's name
        {"  ", "../up", "___up"}, // the fallback is made safe the same way
        {"", "", "terrain"},
        {"", "..", "__"}};
    for (const auto& [name, fallback, expected] : cases)
    {
        const std::string safe = TerrainName::MakeSafe(name, fallback);
        EXPECT_EQ(safe, expected) << name;
        EXPECT_EQ(TerrainName::Problem(safe), "") << safe;
    }
}

TEST(TerrainNameTest, ATakenNameGetsTheFirstFreeNumber)
{
    EXPECT_EQ(TerrainName::MakeUnique("hills", {"dunes"}), "hills");
    // No blank: an OBJ header reads the name as its first word and the width as its second.
    EXPECT_EQ(TerrainName::MakeUnique("hills", {"hills"}), "hills_2");
    EXPECT_EQ(TerrainName::MakeUnique("hills", {"hills", "hills_2", "hills_4"}), "hills_3");
    EXPECT_EQ(TerrainName::MakeUnique("Hills", {"hills"}), "Hills"); // names differ by case
}
} // namespace
