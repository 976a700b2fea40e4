// Choose the importer by extension; keep the model untouched unless the
// importer succeeds.

#include "io/meshload.h"

#include "io/fileaccess.h"
#include "io/meshimport.h"
#include "model/mesh/meshmodel.h"

#include <exception>
#include <new>
#include <system_error>

namespace {

using Importer = bool (*)(const std::string&, std::vector<Vec3f>&, std::vector<Triangle>&, std::string*);
// Importers whose work is long enough to need the load's cancel.
using CancelableImporter = bool (*)(const std::string&, std::vector<Vec3f>&, std::vector<Triangle>&, std::string*,
                                    Progress*);

struct Format {
    const char* extension;
    Importer importer;
    CancelableImporter cancelable;
};

const Format kFormats[] = {
    {".stl", importStl, nullptr}, {".obj", importObj, nullptr},  {".ply", importPly, nullptr},
    {".step", nullptr, importStep}, {".stp", nullptr, importStep}, {".3mf", import3mf, nullptr},
    {".asc", nullptr, importAsc},
};

bool fail(std::string* error, std::string message)
{
    if (error)
        *error = std::move(message);
    return false;
}

} // namespace

std::string lowerCaseExtension(const std::string& path)
{
    // Only the file name counts: "dir.v2/scan" has no extension.
    const std::size_t slash = path.find_last_of("/\\");
    const std::size_t nameStart = slash == std::string::npos ? 0 : slash + 1;
    const std::size_t dot = path.rfind('.');
    if (dot == std::string::npos || dot < nameStart)
        return {};
    std::string ext = path.substr(dot);
    for (char& c : ext)
        if (c >= 'A' && c <= 'Z')
            c = char(c - 'A' + 'a');
    return ext;
}

bool loadMesh(MeshModel& model, const std::string& path, std::string* error, Progress* progress,
              const LoadOptions& options)
{
    std::error_code ec;
    const std::filesystem::path fsPath = pathFromUtf8(path);
    if (path.empty() || !std::filesystem::exists(fsPath, ec))
        return fail(error, "File not found: " + path);

    const std::string ext = lowerCaseExtension(path);
    const Format* format = nullptr;
    for (const Format& f : kFormats) {
        if (ext == f.extension) {
            format = &f;
            break;
        }
    }
    if (!format)
        return fail(error, "Unsupported format: " + ext + " (supported: .stl, .obj, .ply, .step, .stp, .3mf, .asc)");

    // A directory or a pipe passes the existence test; no reader copes with
    // either (a pipe would block the load task forever).
    if (std::filesystem::is_directory(fsPath, ec))
        return fail(error, "Cannot open a folder as a mesh: " + path);
    if (!std::filesystem::is_regular_file(fsPath, ec))
        return fail(error, "Not a regular file: " + path);

    std::vector<Vec3f> newVertices;
    std::vector<Triangle> newFaces;
    try {
        const bool imported = format->cancelable ? format->cancelable(path, newVertices, newFaces, error, progress)
                                                 : format->importer(path, newVertices, newFaces, error);
        if (!imported)
            return false;
    } catch (const std::bad_alloc&) {
        return fail(error, "Not enough memory to load " + path);
    } catch (const std::exception& e) {
        return fail(error, std::string("Failed to load the file: ") + e.what());
    } catch (...) {
        // Library exceptions that do not derive from std::exception.
        return fail(error, "Failed to load the file: " + path);
    }

    if (isCanceled(progress))
        return fail(error, "Load canceled.");
    MeshModel loaded;
    loaded.vertices.assign(std::move(newVertices));
    loaded.faces.assign(std::move(newFaces));
    loaded.loadedVertices = loaded.vertices;
    loaded.loadedFaces = loaded.faces;
    if (options.buildCaches)
        loaded.updateCaches();
    loaded.sourcePath = path;
    if (isCanceled(progress))
        return fail(error, "Load canceled.");
    if (progress)
        progress->setPercent(100);
    model = std::move(loaded);
    return true;
}
