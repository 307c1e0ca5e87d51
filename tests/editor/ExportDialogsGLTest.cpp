// File > Export and File > New > Terrain from heightmap on the real editor.
#include "tests/editor/EditorTestSupport.h"

#include <imgui_internal.h>

namespace
{
using ExportDialogsGLTest = testsupport::EditorFrames;
using HeightmapImportGLTest = testsupport::EditorFrames;

TEST_F(ExportDialogsGLTest, ExportAsksBeforeOverwritingOffersAMissingFolderAndShowsAFailedFile)
{
    auto terrain = CreateTerrainWithScene("hills", 17);
    terrain->gradients.push_back(std::make_unique<Gradient>());
    terrain->GenerateDiffuseByHeight();
    AddLake(*terrain);

    // "Export" (or "Overwrite") pressed in the open dialog, done: what it did, and whether the dialog stays.
    const auto pressExport = [&](bool overwrite)
    {
        editor.exportDialog.open = true;
        const ExportForm::Outcome outcome = editor.exportDialog.Export(editor, overwrite);
        EXPECT_TRUE(FinishJobs());
        return std::make_pair(outcome, editor.exportDialog.open);
    };
    using Outcome = ExportForm::Outcome;
    ExportForm& form = editor.exportDialog.form;
    editor.exportDialog.open = true;
    Frames(2); // the dialog picks the first terrain
    ASSERT_EQ(form.selected, terrain);
    form.folder = dir.Path().string();
    EXPECT_EQ(pressExport(false), std::make_pair(Outcome::Started, false));
    EXPECT_EQ(editor.session.notice,
              "Exported hills.glb, hills_height.png, hills_height.png.json in " + dir.Path().string() + ".");

    EXPECT_EQ(pressExport(false), std::make_pair(Outcome::AskOverwrite, true));
    EXPECT_EQ(form.overwriteQuestion, // the files that exist
              (std::vector<std::string>{dir / "hills.glb", dir / "hills_height.png",
                                        dir / "hills_height.png.json"}));
    Frames(2); // the question is drawn
    EXPECT_EQ(pressExport(true), std::make_pair(Outcome::Started, false));

    // A folder that is not there is offered: Cancel goes back to the form, Create folder makes it
    // (and the one above it) and exports.
    form.folder = dir / "new/deeper";
    EXPECT_EQ(pressExport(false), std::make_pair(Outcome::AskCreateFolder, true));
    EXPECT_EQ(std::make_tuple(form.folderQuestion, fs::exists(dir / "new")),
              std::make_tuple(dir / "new/deeper", false));
    Frames(2); // the question is drawn
    EXPECT_EQ(editor.exportDialog.CreateFolderAndExport(editor), Outcome::Started);
    EXPECT_TRUE(FinishJobs());
    EXPECT_FALSE(editor.exportDialog.open);
    EXPECT_TRUE(fs::exists(dir / "new/deeper/hills_height.png.json"));

    // A file where the folder should be: the writer's reason.
    form.folder = dir / "hills.glb";
    pressExport(false);
    EXPECT_EQ(editor.errorMessage.rfind("Cannot write " + (dir / "hills.glb/hills.glb") + ": ", 0), 0u)
        << editor.errorMessage;
    Frames(2);
}

// A refused file builds nothing and shows the reader's reason (each reason: HeightImageTest). A square
// one's terrain is like any other: base heights for the layers and the usual textures (its heights and
// files: ProjectSessionGLTest's comparison with the headless converter).
TEST_F(HeightmapImportGLTest, ARefusedFileBuildsNothingAndATerrainFromAHeightmapIsLikeAnyOther)
{
    HeightmapImportForm& form = editor.heightmapImport.form;
    form.path = WriteHeights(9, 5);
    form.name = "wide";
    editor.heightmapImport.open = true;
    editor.heightmapImport.Create(editor);
    ASSERT_TRUE(FinishJobs());
    EXPECT_TRUE(editor.terrains.empty());
    EXPECT_EQ(editor.errorMessage, "Cannot import heightmap " + form.path +
                                       ": it is 9 x 5; terrains are square (the program does not support "
                                       "rectangular texturing at the moment)");
    Frames(2);

    editor.showError = false;
    form.path = WriteHeights(17, 17);
    form.name = HeightmapImportForm::NameFromPath(form.path);
    editor.heightmapImport.open = true;
    Frames(2);
    ASSERT_TRUE(editor.heightmapImport.Create(editor));
    EXPECT_FALSE(editor.heightmapImport.open);
    ASSERT_TRUE(FinishJobs());
    EXPECT_FALSE(editor.showError) << editor.errorMessage;
    ASSERT_EQ(editor.terrains.size(), 1u);
    const std::shared_ptr<Terrain> terrain = editor.terrains[0];
    EXPECT_EQ(std::tie(terrain->name, terrain->width, terrain->vertexDistance),
              std::make_tuple("source", 17u, 2.0f));
    EXPECT_EQ(terrain->basePositions, terrain->positions);
    EXPECT_TRUE(terrain->heightmapTexture && terrain->normalTexture && terrain->watermapTexture);
    EXPECT_EQ(form.Problem(TerrainNames(editor.terrains)), "Terrain with the same name exists already.");
}

// Their buttons stay put too, and their longest form fits without scrolling.
TEST_F(ExportDialogsGLTest, DialogsKeepTheirPlaceAndSizeWhileRowsComeAndGo)
{
    WatchWidgets();
    auto terrain = CreateTerrainWithScene("hills", 17);
    AddLake(*terrain);
    const std::string heights = WriteHeights(9, 9);

    // The dialog, a button of it, what opens it, and what brings it the most rows.
    const std::tuple<const char*, const char*, bool*, std::function<void()>> cases[] = {
        {"Export Terrain", "Close##ex", &editor.exportDialog.open,
         [&]
         {
             for (bool& format : editor.exportDialog.form.formats)
                 format = true; // the water row, the splat bands and their hints
             editor.exportDialog.form.resampleChoice = 2;
             editor.exportDialog.form.baseName = "a/b"; // and a problem line
         }},
        {"Terrain from Heightmap", "Close##hm", &editor.heightmapImport.open,
         [&]
         {
             editor.heightmapImport.form.path = heights; // typed: the JSON file's row comes
             editor.heightmapImport.form.options.useSidecar = false;
         }},
        {"New Terrain", "Close", &editor.showNewTerrain,
         [&]
         {
             editor.newTerrain.form.generator = 2; // random fault's rows
             editor.newTerrain.form.width = 0;     // and a size message
         }},
        {"Save Terrain", "Cancel##sf", &editor.showSaveTerrain,
         [&]
         {
             terrain->gradients.push_back(std::make_unique<Gradient>());
             terrain->GenerateDiffuseByHeight(); // the diffuse and specular choices
         }},
    };
    const auto place = [&](const char* window, const char* button)
    {
        const testsupport::WidgetMapFile map = Widgets();
        const auto* frame = map.Window(window);
        const auto* item = map.Find("item", button, window);
        EXPECT_TRUE(frame != nullptr && item != nullptr) << map.Describe();
        return frame != nullptr && item != nullptr
                   ? std::vector<float>{frame->rect.x0, frame->rect.y0, frame->rect.x1,
                                        frame->rect.y1, item->rect.x0,  item->rect.y0}
                   : std::vector<float>{};
    };
    for (const auto& [window, button, open, grow] : cases)
    {
        SCOPED_TRACE(window);
        *open = true;
        Frames(3);
        const std::vector<float> before = place(window, button);
        grow();
        Frames(3);
        EXPECT_EQ(place(window, button), before);
        EXPECT_EQ(ImGui::FindWindowByName(window)->ScrollMax.y, 0.0f);
        *open = false;
        Frames(2);
    }
}

} // namespace
