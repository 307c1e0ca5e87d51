#pragma once
// The per-scene Create / Manage dialog's state (its window is Editor::DrawManageDialog): the restore
// point that "Cancel##ms" puts back and the destroy confirmation, shared by all scenes for the run.
#include <memory>

class Camera;
class Editor;
class Scene;
class Shader;
class Terrain;

struct ManageDialog
{
    // What "Cancel##ms" puts back; taken once per run.
    struct RestorePoint
    {
        std::shared_ptr<Camera> camera;
        std::shared_ptr<Shader> shader;
        std::shared_ptr<Terrain> terrain;
        bool taken = false;
    } restorePoint;
    bool destroyConfirmation = false; // set by "Destroy##ms", never cleared during the run

    // A Manage dialog (not a Create dialog) opens: the first one in the run takes the restore point,
    // when its scene has a camera, a shader and a terrain.
    void TakeRestorePoint(const Editor& editor, const Scene& scene);
    // "Cancel##ms": the restore point, when one was taken, and the dialog closes.
    void Cancel(Editor& editor, Scene& scene) const;
};
