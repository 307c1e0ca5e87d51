#pragma once
// The New Terrain dialog's state and its "Create" (its window is Editor::ShowNewTerrainDialog).
#include "editor/NewTerrainForm.h"

class Editor;

struct NewTerrainDialog
{
    NewTerrainForm form;

    // "Create": the terrain is made on the job runner and joins the list when it is done (with a first
    // scene when there is none); the dialog closes. False, with nothing started, when the values are
    // refused, or (with the Error popup) when the session is busy.
    bool Create(Editor& editor);
};
