#include "editor/ProjectForms.h"

#include "engine/AtomicFile.h"
#include "io/ProjectFile.h"

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <system_error>

UnsavedChangesForm::Next UnsavedChangesForm::Request(SessionAction action, bool unsaved,
                                                     const std::string& path)
{
    if (asking || saving) return Next::Nothing; // one question at a time
    if (!unsaved) return Next::Proceed;
    pending = action;
    openPath = path;
    asking = true;
    return Next::Nothing;
}

UnsavedChangesForm::Next UnsavedChangesForm::Respond(Answer answer, bool hasProjectFile)
{
    if (!asking) return Next::Nothing;
    asking = false;
    switch (answer)
    {
    case Answer::DontSave:
        return Next::Proceed;
    case Answer::Save:
        saving = true;
        return hasProjectFile ? Next::Save : Next::SaveAs;
    case Answer::Cancel:
        break;
    }
    Clear();
    return Next::Nothing;
}

UnsavedChangesForm::Next UnsavedChangesForm::Saved(bool succeeded)
{
    if (!saving) return Next::Nothing;
    saving = false;
    if (succeeded) return Next::Proceed;
    Clear(); // a failed or cancelled save keeps the session and drops the action
    return Next::Nothing;
}

void UnsavedChangesForm::Clear()
{
    pending = SessionAction::None;
    openPath.clear();
    asking = false;
    saving = false;
}

std::string ProjectPathForm::FilePath() const
{
    const std::string extension = ProjectFile::kExtension;
    if (path.size() >= extension.size() &&
        path.compare(path.size() - extension.size(), extension.size(), extension) == 0)
        return path;
    return path + extension;
}

bool ProjectPathForm::CanSubmit() const
{
    return !path.empty() && path.back() != '/';
}

bool ProjectPathForm::NeedsReplaceQuestion(const std::string& openProject) const
{
    std::error_code code;
    const std::string target = FilePath();
    if (!std::filesystem::exists(target, code)) return false;
    if (openProject.empty()) return true;
    return !std::filesystem::equivalent(target, openProject, code);
}

void RecentProjects::Load()
{
    paths.clear();
    std::ifstream in(file);
    std::string line;
    while (paths.size() < kLimit && std::getline(in, line))
        if (!line.empty() && std::find(paths.begin(), paths.end(), line) == paths.end())
            paths.push_back(line);
}

bool RecentProjects::Save() const
{
    std::string text;
    for (const std::string& path : paths)
        text += path + "\n";
    return WriteFileAtomically(file, [&](std::FILE* out)
                               { return std::fwrite(text.data(), 1, text.size(), out) == text.size(); });
}

void RecentProjects::Add(const std::string& path)
{
    std::error_code code;
    std::string absolute = std::filesystem::absolute(path, code).lexically_normal().string();
    if (code) absolute = path;
    Remove(absolute);
    paths.insert(paths.begin(), absolute);
    if (paths.size() > kLimit) paths.resize(kLimit);
    Save();
}

void RecentProjects::Remove(const std::string& path)
{
    paths.erase(std::remove(paths.begin(), paths.end(), path), paths.end());
}

std::string ProjectName(const std::string& projectPath)
{
    return projectPath.empty() ? "Untitled" : ProjectFile::DisplayName(projectPath);
}

std::string ProjectWindowTitle(const std::string& projectPath, bool unsaved)
{
    if (projectPath.empty() && !unsaved) return "Velmoran";
    return ProjectName(projectPath) + (unsaved ? "*" : "") + " - Velmoran";
}
