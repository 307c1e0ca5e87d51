#include "engine/App.h"
#include "engine/Engine.h"

#include <cstdlib>

int main(int /*argc*/, char** /*argv*/)
{
    App* app = new App();
    Engine::Get().Run(app);
    delete app;
    std::exit(0);
}
