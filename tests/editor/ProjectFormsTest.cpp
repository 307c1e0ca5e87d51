#include "editor/ProjectForms.h"
#include "tests/support/TestPaths.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <tuple>

using testsupport::TempDir;
using Answer = UnsavedChangesForm::Answer;
using Next = UnsavedChangesForm::Next;

namespace
{
// One run of the question: a request, the answer (if asked), and how the save went (if one ran).
struct QuestionCase
{
    const char* name;
    bool unsaved;
    Answer answer;
    bool hasFile;
    bool saveSucceeds;
    Next afterRequest;
    Next afterAnswer;
    Next afterSave; // Nothing when no save ran
};

void PrintTo(const QuestionCase& c, std::ostream* out)
{
    *out << c.name;
}

class UnsavedChangesTest : public ::testing::TestWithParam<QuestionCase>
{
};

TEST_P(UnsavedChangesTest, DecidesWhetherTheActionGoesAhead)
{
    const QuestionCase& c = GetParam();
    UnsavedChangesForm form;
    EXPECT_EQ(form.Request(SessionAction::OpenProject, c.unsaved, "b.velmoran"), c.afterRequest);
    if (!c.unsaved)
    {
        EXPECT_FALSE(form.asking);
        return;
    }
    EXPECT_TRUE(form.asking);
    EXPECT_EQ(form.Request(SessionAction::Quit, true), Next::Nothing) << "a second request waits";
    EXPECT_EQ(form.pending, SessionAction::OpenProject);

    EXPECT_EQ(form.Respond(c.answer, c.hasFile), c.afterAnswer);
    EXPECT_FALSE(form.asking);
    if (c.afterAnswer == Next::Save || c.afterAnswer == Next::SaveAs)
    {
        EXPECT_EQ(form.Saved(c.saveSucceeds), c.afterSave);
    }
    const bool proceeds = c.afterAnswer == Next::Proceed || c.afterSave == Next::Proceed;
    // The pending action and its path survive exactly until the editor carries it out.
    EXPECT_EQ(form.pending, proceeds ? SessionAction::OpenProject : SessionAction::None);
    EXPECT_EQ(form.openPath, proceeds ? "b.velmoran" : "");
}

const QuestionCase kQuestions[] = {
    {"NothingUnsaved", false, Answer::Cancel, false, false, Next::Proceed, Next::Nothing, Next::Nothing},
    {"DontSave", true, Answer::DontSave, true, false, Next::Nothing, Next::Proceed, Next::Nothing},
    {"Cancel", true, Answer::Cancel, true, true, Next::Nothing, Next::Nothing, Next::Nothing},
    {"SaveToItsFile", true, Answer::Save, true, true, Next::Nothing, Next::Save, Next::Proceed},
    {"SaveFails", true, Answer::Save, true, false, Next::Nothing, Next::Save, Next::Nothing},
    {"SaveAsForAnUntitledSession", true, Answer::Save, false, true, Next::Nothing, Next::SaveAs,
     Next::Proceed},
    {"SaveAsCancelled", true, Answer::Save, false, false, Next::Nothing, Next::SaveAs, Next::Nothing},
};

INSTANTIATE_TEST_SUITE_P(Answers, UnsavedChangesTest, ::testing::ValuesIn(kQuestions),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(UnsavedChangesTest, TheQuestionNamesTheProject)
{
    EXPECT_EQ(UnsavedChangesForm::Question(ProjectName("output/hills.velmoran")), "Save changes to hills?");
    EXPECT_EQ(UnsavedChangesForm::Question(ProjectName("")), "Save changes to Untitled?");
}

TEST(ProjectWindowTitleTest, NameAndStar)
{
    EXPECT_EQ(ProjectWindowTitle("", false), "Velmoran");
    EXPECT_EQ(ProjectWindowTitle("", true), "Untitled* - Velmoran");
    EXPECT_EQ(ProjectWindowTitle("maps/valley.velmoran", false), "valley - Velmoran");
    EXPECT_EQ(ProjectWindowTitle("maps/valley.velmoran", true), "valley* - Velmoran");
}

TEST(ProjectPathFormTest, ExtensionAndReplaceQuestion)
{
    TempDir dir;
    ProjectPathForm form;
    EXPECT_FALSE(form.CanSubmit());
    form.path = dir / "hills";
    EXPECT_EQ(form.FilePath(), dir / "hills.velmoran");
    EXPECT_FALSE(form.NeedsReplaceQuestion(""));
    std::ofstream(dir / "hills.velmoran") << "x";
    EXPECT_TRUE(form.NeedsReplaceQuestion(""));
    EXPECT_TRUE(form.NeedsReplaceQuestion(dir / "other.velmoran"));
    // Saving over the project that is open is its ordinary save.
    EXPECT_FALSE(form.NeedsReplaceQuestion(dir.Path().string() + "/./hills.velmoran"));
    form.path = dir / "folder/";
    EXPECT_FALSE(form.CanSubmit());
}

TEST(RecentProjectsTest, KeepsTheLastEightOnceEachMostRecentFirst)
{
    TempDir dir;
    RecentProjects recent;
    recent.file = dir / "recent_projects.txt";
    for (int i = 0; i < 10; ++i)
        recent.Add(dir / ("p" + std::to_string(i) + ".velmoran"));
    recent.Add(dir / "p5.velmoran");
    recent.Add(dir.Path().string() + "/sub/../p7.velmoran"); // the same file, spelt otherwise
    ASSERT_EQ(recent.paths.size(), RecentProjects::kLimit);
    EXPECT_EQ(
        std::tie(recent.paths[0], recent.paths[1], recent.paths[2], recent.paths[7]), // p0, p1 fell off
        std::make_tuple(dir / "p7.velmoran", dir / "p5.velmoran", dir / "p9.velmoran", dir / "p2.velmoran"));

    RecentProjects loaded;
    loaded.file = recent.file;
    loaded.Load();
    EXPECT_EQ(loaded.paths, recent.paths);

    RecentProjects none;
    none.file = dir / "missing.txt";
    none.Load();
    EXPECT_TRUE(none.paths.empty());
}
} // namespace
