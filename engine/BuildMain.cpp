// velmoran-build: rebuilds the terrains of a project (or the terrain of an OBJ file or a heightmap) without
// a display and writes the files the Save Terrain dialog writes, or the Export dialog's formats. Exit
// status 0 only on success; a failure prints one line naming the file and the reason on standard error.
#include "engine/Logger.h"
#include "engine/Parallel.h"
#include "io/ProjectBuild.h"
#include "io/WorldBuild.h"
#include "terrain/Project.h"
#include "terrain/World.h"

#include <CLI/CLI.hpp>

#include <iostream>

int main(int argc, char** argv)
{
    CLI::App app{"Rebuilds every terrain of a Velmoran project without a display and writes the files the "
                 "editor's Save Terrain writes (OBJ meshes and images) or its Export writes (--formats). "
                 "A terrain OBJ file or a heightmap in place of the project converts that terrain.",
                 "velmoran-build"};
    BuildOptions options;
    std::string images = "png";
    app.add_option(
           "project", options.projectPath,
           "The project file (.velmoran), or a terrain OBJ file (.obj) as Load Terrain reads it, or a "
           "heightmap (.png, .r16, .exr) with its JSON file as Terrain from heightmap reads it")
        ->required();
    app.add_option("--out,-o", options.outputFolder, "Folder the files are written to (created when missing)")
        ->required();
    app.add_option("--images", images,
                   "Format of the heightmap, diffuse, normal and specular images: png, tga, "
                   "jpg, bmp or none")
        ->capture_default_str();
    app.add_option("--terrain", options.terrains, "Build only the terrain of this name (may be repeated)");
    std::string formats = "save";
    app.add_option("--formats", formats,
                   "Comma-separated outputs: save (the Save Terrain files), glb, obj, png16, r16, exr, splat "
                   "(the Export files)")
        ->capture_default_str();
    bool noWater = false;
    app.add_flag("--no-water", noWater, "Leave the water plane out of the glb and obj exports");
    uint32_t resample = 0;
    app.add_option(
           "--resample", resample,
           "Resample the exports so the longer side has this many vertices (2 to 8193; 0 keeps the grid)")
        ->check(CLI::Range(0u, ExportOptions::kMaxSide));
    bool bicubic = false;
    app.add_flag("--bicubic", bicubic, "Resample bicubic instead of bilinear");
    std::string splat = "height";
    app.add_option("--splat", splat, "Splat map bands by height or slope")
        ->check(CLI::IsMember({"height", "slope"}))
        ->capture_default_str();

    unsigned threads = 0;
    app.add_option("--threads", threads,
                   "Threads the work is split over (0: one per core); scripts/build-world.sh gives each tile "
                   "process one and runs a process per core")
        ->check(CLI::Range(0u, 1024u))
        ->capture_default_str();
    std::string tile;
    app.add_option("--tile", tile,
                   "Build tile X,Y of the project's world (x along +x, y along +z, from 0): NAME_xX_yY files "
                   "and NAME_world.json (--formats: png16, r16, exr, glb; png16,r16 by default)");
    std::string tiles;
    app.add_option("--tiles", tiles,
                   "all: build every tile of the project's world in this process; list: print the tiles, "
                   "X,Y a line, and build nothing")
        ->check(CLI::IsMember({"all", "list"}))
        ->excludes("--tile");

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

    Parallel::SetThreadCount(threads);
    std::string reason;
    if (tiles == "list")
    {
        Project project;
        std::string error;
        if (!WorldBuild::OpenWorld(options.projectPath, project, error))
        {
            std::cerr << "velmoran-build: " << error << '\n';
            return 1;
        }
        for (uint32_t y = 0; y < project.world->tilesY; ++y)
            for (uint32_t x = 0; x < project.world->tilesX; ++x)
                std::cout << x << ',' << y << '\n';
        return 0;
    }
    if (!tile.empty() || !tiles.empty())
    {
        WorldBuildOptions world;
        world.projectPath = options.projectPath;
        world.outputFolder = options.outputFolder;
        world.allTiles = !tiles.empty();
        if (!tile.empty() && !World::ParseTile(tile, world.tileX, world.tileY))
        {
            std::cerr << "velmoran-build: --tile: " << tile << " is not X,Y (two whole numbers)\n";
            return 2;
        }
        if (app.count("--formats") > 0 && !WorldBuild::ParseFormats(formats, world.formats, &reason))
        {
            std::cerr << "velmoran-build: --formats: " << reason << '\n';
            return 2;
        }
        Logger logger;
        logger.InitializeOnStandardError(spdlog::level::warn);
        StepReporter reporter([](const std::string& line)
                              { std::cerr << "velmoran-build: " << line << std::endl; });
        WorldBuild::Counts counts;
        std::string error;
        const bool built = WorldBuild::Run(world, error, reporter, counts);
        // One line per run on standard output, which scripts read: how many tiles were built and skipped.
        std::cout << "built " << counts.built << ", skipped " << counts.skipped << std::endl;
        if (!built)
        {
            std::cerr << "velmoran-build: " << error << '\n';
            return 1;
        }
        return 0;
    }
    if (!ProjectBuild::ParseFormats(formats, options, &reason))
    {
        std::cerr << "velmoran-build: --formats: " << reason << '\n';
        return 2;
    }
    options.exports.water = !noWater;
    options.exports.resampleSide = resample;
    options.exports.filter = bicubic ? Resample::Filter::Bicubic : Resample::Filter::Bilinear;
    options.exports.splatMode = splat == "slope" ? SplatMap::Mode::Slope : SplatMap::Mode::Height;

    // The steps' own warnings and errors (a layer setting brought into range, a file that failed) as the
    // editor logs them, on standard error beside the program's lines.
    Logger logger;
    logger.InitializeOnStandardError(spdlog::level::warn);
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
