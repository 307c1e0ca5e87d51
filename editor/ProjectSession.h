#pragma once
// The session as a project: the editor's lists captured into the GL-free model (terrain/Project.h),
// and replaced by one. The project commands and their dialogs are ProjectDialogs.h.
#include <functional>
#include <string>

class Editor;
struct Project;

// The session as it is now: terrains (their records), cameras, scenes and the user's shaders.
Project CaptureProject(const Editor& editor);
// Replaces the session with the project's. False, with the reason and nothing changed, when a
// terrain cannot be rebuilt.
bool RestoreProject(Editor& editor, Project&& project, std::string* error = nullptr);
// The GL-free half of RestoreProject, for a worker thread: every terrain record completed
// (TerrainRecord::Complete), in the project's order. False with the reason when one cannot be built,
// or (reason "opening was cancelled") when progress says stop.
bool BuildProjectTerrains(Project& project, std::string* error,
                          const std::function<bool(float)>& progress = {});
// The GL half: replaces the session with the project and its completed terrains; cannot fail.
void RestoreBuiltProject(Editor& editor, Project&& project);
// The panels let go of what they held of the session's objects (before these are replaced).
void ClearSessionState(Editor& editor);
