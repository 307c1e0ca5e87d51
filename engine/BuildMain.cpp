// velmoran-build: rebuilds the terrains of a project without a display and writes the files the Save
// Terrain dialog writes. Exit status 0 only on success; a failure prints one line naming the file and
// the reason on standard error.
#include "io/ProjectBuild.h"

#include <CLI/CLI.hpp>

#include <iostream>

int main(int argc, char** argv)
{
    CLI::App app{"Rebuilds every terrain of a Velmoran project and writes its OBJ meshes and images, as the "
                 "editor's Save Terrain does, without a display.",
                 "velmoran-build"};
    BuildOptions options;
    std::string images = "png";
    app.add_option("project", options.projectPath, "The project file (.velmoran)")->required();
    app.add_option("--out,-o", options.outputFolder, "Folder the files are written to (created when missing)")
        ->required();
    app.add_option("--images", images,
                   "Format of the heightmap, diffuse, normal and specular images: png, tga, "
                   "jpg, bmp or none")
        ->capture_default_str();
    app.add_option("--terrain", options.terrains, "Build only the terrain of this name (may be repeated)");
    // Further output formats (glTF, 16-bit heightmaps, ...) are chosen here and passed in BuildOptions.

    try
    {
        app.parse(argc, argv);
    }
    catch (const CLI::ParseError& e)
    {
        return app.exit(e); // 0 for --help, otherwise the usage error and a failure status
    }
    if (!ProjectBuild::ImageFormatFromName(images, options.imageFormat))
    {
        std::cerr << "velmoran-build: --images: unknown format " << images
                  << " (png, tga, jpg, bmp or none)\n";
        return 2;
    }

    StepReporter reporter([](const std::string& line)
                          { std::cerr << "velmoran-build: " << line << std::endl; });
    std::string error;
    if (!ProjectBuild::Run(options, error, reporter))
    {
        std::cerr << "velmoran-build: " << error << '\n';
        return 1;
    }
    return 0;
}
