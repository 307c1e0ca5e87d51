#include "terrain/TerrainName.h"

#include <gtest/gtest.h>

namespace
{
const char* kUnsafe = "Terrain names cannot contain /, \\, \"..\" or control characters.";

TEST(TerrainNameTest, TypedNamesThatLeaveTheFolderOrAreBlankAreRefused)
{
    for (const char* name : {"hills", "my hills 2", "v1.2", ".hidden"})
        EXPECT_EQ(TerrainName::Problem(name), "") << name;
    for (const char* name : {"", "  \t "})
        EXPECT_EQ(TerrainName::Problem(name), "Enter terrain name") << name;
    using namespace std::string_literals; // for the NUL inside a name
    for (const std::string& name :
         {"../../x"s, "a/b"s, "a\\b"s, ".."s, "x..y"s, "bell\a"s, "line\nbreak"s, "nul\0x"s, "del\x7f"s})
        EXPECT_EQ(TerrainName::Problem(name), kUnsafe) << name;
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
        EXPECT_EQ(std::make_pair(TerrainName::MakeSafe(name, fallback), TerrainName::Problem(expected)),
                  std::make_pair(expected, std::string()))
            << name;
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
