#include "editor/NewTerrainForm.h"

#include "tests/support/TestCommon.h"

namespace
{
TEST(NewTerrainFormTest, MinusHalvesTowardsTwoAndPlusDoubles)
{
    std::vector<int> seen;
    int width = 65;
    for (int i = 0; i < 7; ++i)
        seen.push_back(width = NewTerrainForm::Decrease(width));
    EXPECT_EQ(seen, (std::vector<int>{33, 17, 9, 5, 3, 2, 2}));
    for (const auto& [side, next] : {std::pair{2, 3}, {3, 5}, {65, 129}})
        EXPECT_EQ(NewTerrainForm::Increase(side), next) << side;
    EXPECT_GT(NewTerrainForm::Increase(2000000000), 0); // no overflow into negative sizes
}

TEST(NewTerrainFormTest, DiamondSquareSideRuleAndRectangles)
{
    for (int side : {2, 3, 5, 9, 65, 129, 1025})
        EXPECT_TRUE(NewTerrainForm::IsPowerOfTwoPlusOne(side)) << side;
    for (int side : {-5, 0, 1, 4, 10, 64, 66})
        EXPECT_FALSE(NewTerrainForm::IsPowerOfTwoPlusOne(side)) << side;

    NewTerrainForm form;
    form.name = "hills";
    form.generator = 1;
    form.width = 64;
    EXPECT_EQ(form.SideError(), "Terrain width (vertex count) has to be 2^n + 1, height equals width.");
    EXPECT_FALSE(form.CanCreate({}));
    form.width = 65;
    for (int height : {0, NewTerrainForm::kMaxSide + 1, 33}) // the height shown for other generators
    {
        form.height = height;
        EXPECT_TRUE(form.CanCreate({})) << height;
        const NewTerrainForm::Arguments args = form.BuildArguments();
        EXPECT_EQ(std::tie(args.width, args.height, args.generator),
                  std::make_tuple(65u, 65u, Terrain::Generator::DiamondSquare));
        EXPECT_EQ(form.SizeLine(), "Terrain coordinate width x height: 65.00 x 65.00");
    }
    // 65 x 33 is a rectangle, which the other generators refuse.
    for (int generator : {0, 2})
    {
        form.generator = generator;
        EXPECT_TRUE(form.IsRectangular() && !form.CanCreate({})) << generator;
    }
    // Side 2 passes the 2^n + 1 rule but cannot run the diamond step.
    form.generator = 1;
    form.width = 2;
    EXPECT_TRUE(form.SideError().empty());
    EXPECT_FALSE(form.SizeError().empty());
    EXPECT_FALSE(form.CanCreate({}));
}

TEST(NewTerrainFormTest, NamesMustBeGivenAndUniqueButCaseMatters)
{
    NewTerrainForm form;
    EXPECT_EQ(form.NameError({}), "Enter terrain name");
    form.name = "Hills";
    EXPECT_EQ(form.NameError({"dunes", "Hills"}), "Terrain with the same name exists already.");
    EXPECT_TRUE(form.NameError({"hills", "HILLS"}).empty());
    EXPECT_FALSE(form.CanCreate({"Hills"}));
    EXPECT_TRUE(form.CanCreate({"hills"}));
}

TEST(NewTerrainFormTest, TypedSizesOutsideTheBuildableRangeAreRefused)
{
    NewTerrainForm form;
    form.name = "t";
    for (int side : {-65, -1, 0, 1, NewTerrainForm::kMaxSide + 1, 1 << 30})
    {
        form.width = form.height = side;
        EXPECT_FALSE(form.SizeError().empty()) << side;
    }
    form.width = 0;
    EXPECT_EQ(form.SizeError(), "Terrain width and height have to be at least 2.");
    form.width = form.height = 2;
    EXPECT_TRUE(form.CanCreate({}));
    form.width = form.height = NewTerrainForm::kMaxSide;
    EXPECT_TRUE(form.CanCreate({}));
}

TEST(NewTerrainFormTest, ArgumentsPerGeneratorAndTheSizeLine)
{
    NewTerrainForm form;
    form.width = 33;
    form.height = 17;
    form.vertexDistance = 2.0f;
    EXPECT_EQ(form.SizeLine(), "Terrain coordinate width x height: 66.00 x 34.00");
    form.range = 3.0f;
    form.roughness = 0.5f;
    form.iterations = 12;

    const NewTerrainForm::Arguments flat = form.BuildArguments();
    EXPECT_EQ(std::tie(flat.generator, flat.parameter1, flat.parameter2, flat.iterations),
              std::make_tuple(Terrain::Generator::Flat, 10.0f, 0.5f, 0u));
    form.generator = 2;
    const NewTerrainForm::Arguments fault = form.BuildArguments();
    EXPECT_EQ(std::tie(fault.generator, fault.parameter1, fault.iterations),
              std::make_tuple(Terrain::Generator::RandomFault, 3.0f, 12u));
    EXPECT_FLOAT_EQ(fault.parameter2, 0.005f); // the dialog shows a hundred times the roughness used
    form.iterations = -4;
    EXPECT_EQ(form.BuildArguments().iterations, 0u);
}
} // namespace
