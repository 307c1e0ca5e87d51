#include "editor/Editor.h"
#include "engine/Engine.h"
#include "engine/WidgetMap.h"

#include <cstdlib>

int main(int /*argc*/, char** /*argv*/)
{
    Editor* editor = new Editor();
    Engine::Get().window.guiContextCreated = WidgetMap::InstallFromEnvironment;
    Engine::Get().Run(editor);
    delete editor;
    std::exit(0);
}
