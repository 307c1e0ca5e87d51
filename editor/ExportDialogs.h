#pragma once
// File > Export and File > New > Terrain from heightmap: two modal dialogs on the centre of the main
// window. Their values and decisions are in ExportForm and HeightmapImportForm.
#include "editor/ExportForm.h"
#include "editor/HeightmapImportForm.h"

class Editor;

struct ExportDialog
{
    ExportForm form;
    bool open = false;

    void Show(Editor& editor);
    // "Export": asks before overwriting or about a missing folder (the dialog stays open), shows the
    // Error popup, or starts writing the files on the job runner (Started; the dialog closes).
    ExportForm::Outcome Export(Editor& editor, bool overwrite);
    // "Create folder" of the question: makes the missing folder, then exports.
    ExportForm::Outcome CreateFolderAndExport(Editor& editor);

  private:
    // The export job: the chosen files of the chosen terrain; false when refused.
    bool Start(Editor& editor);
};

struct HeightmapImportDialog
{
    HeightmapImportForm form;
    bool open = false;

    void Show(Editor& editor);
    // "Create": the file is read and the terrain built on the job runner; it joins the list as New
    // Terrain's do. A refused file shows its reason in the Error popup and builds nothing. False when
    // the dialog's values are refused (nothing started).
    bool Create(Editor& editor);

  private:
    // The import job: reads the file and builds the terrain's record; false when refused.
    bool Start(Editor& editor);
};
