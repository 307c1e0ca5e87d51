#include "editor/ProjectForms.h"
#include "tests/support/TestCommon.h"

using testsupport::TempDir;
using Answer = UnsavedChangesForm::Answer;
using Next = UnsavedChangesForm::Next;

namespace
{
// Each run of the question: a request, the answer (if asked), and how the save went (if one ran).
TEST(UnsavedChangesTest, DecidesWhetherTheActionGoesAhead)
{
    // The case, whether anything is unsaved, the answer, whether the project has a file, whether its save
    // works, and what comes after the request, the answer and the save (Nothing when none ran).
    const std::tuple<const char*, bool, Answer, bool, bool, Next, Next, Next> cases[] = {
        {"nothing unsaved", false, Answer::Cancel, false, false, Next::Proceed, Next::Nothing, Next::Nothing},
        {"don't save", true, Answer::DontSave, true, false, Next::Nothing, Next::Proceed, Next::Nothing},
        {"cancel", true, Answer::Cancel, true, true, Next::Nothing, Next::Nothing, Next::Nothing},
        {"save to its file", true, Answer::Save, true, true, Next::Nothing, Next::Save, Next::Proceed},
        {"save fails", true, Answer::Save, true, false, Next::Nothing, Next::Save, Next::Nothing},
        {"save as, untitled", true, Answer::Save, false, true, Next::Nothing, Next::SaveAs, Next::Proceed},
        {"save as cancelled", true, Answer::Save, false, false, Next::Nothing, Next::SaveAs, Next::Nothing},
    };
    for (const auto& [what, unsaved, answer, hasFile, saveWorks, onRequest, onAnswer, onSave] : cases)
    {
        SCOPED_TRACE(what);
        UnsavedChangesForm form;
        EXPECT_EQ(form.Request(SessionAction::OpenProject, unsaved, "b.velmoran"), onRequest);
        EXPECT_EQ(form.asking, unsaved);
        if (!unsaved) continue;
        EXPECT_EQ(form.Request(SessionAction::Quit, true), Next::Nothing) << "a second request waits";
        EXPECT_EQ(form.pending, SessionAction::OpenProject);

        EXPECT_EQ(form.Respond(answer, hasFile), onAnswer);
        EXPECT_FALSE(form.asking);
        const bool saves = onAnswer == Next::Save || onAnswer == Next::SaveAs;
        EXPECT_EQ(saves ? form.Saved(saveWorks) : Next::Nothing, onSave);
        const bool proceeds = onAnswer == Next::Proceed || onSave == Next::Proceed;
        // The pending action and its path survive exactly until the editor carries it out.
        EXPECT_EQ(form.pending, proceeds ? SessionAction::OpenProject : SessionAction::None);
        EXPECT_EQ(form.openPath, proceeds ? "b.velmoran" : "");
    }
}

// The unsaved-changes question and the window's title name the project; UserJourneyTest waits for
// the title with and without its star.
TEST(UnsavedChangesTest, TheQuestionAndTheWindowTitleNameTheProject)
{
    EXPECT_EQ(UnsavedChangesForm::Question(ProjectName("output/hills.velmoran")), "Save changes to hills?");
    EXPECT_EQ(UnsavedChangesForm::Question(ProjectName("")), "Save changes to Untitled?");
    EXPECT_EQ(ProjectWindowTitle("", false), "Velmoran");
    EXPECT_EQ(ProjectWindowTitle("", true), "Untitled* - Velmoran");
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
