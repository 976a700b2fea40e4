// 3MF through lib3mf 1.8's C interface: every mesh object resource once, at
// its stored coordinates (build items, components and transforms are not
// applied), each object's indices offset by the vertices collected before it.

#include "io/meshimport.h"

#include <Model/COM/NMR_DLLInterfaces.h>

#include <cstdio>
#include <exception>

namespace {

using namespace NMR;

// The C interface reports failures as result codes with a per-object "last
// error"; this turns a failed call into the message the binding's exception
// would have carried.
class Lib3mfError {
public:
    explicit Lib3mfError(std::string message) : message_(std::move(message)) {}
    const std::string& message() const { return message_; }

private:
    std::string message_;
};

void check(LIB3MFRESULT result, PLib3MFBase* object, const char* call)
{
    if (result == LIB3MF_OK)
        return;
    DWORD code = 0;
    LPCSTR text = nullptr;
    if (object)
        lib3mf_getlasterror(object, &code, &text);
    if (text && *text)
        throw Lib3mfError(text);
    char suffix[64];
    std::snprintf(suffix, sizeof suffix, " failed with code 0x%08X", unsigned(result));
    throw Lib3mfError(std::string("lib3mf ") + call + suffix);
}

// Releases a lib3mf object when leaving scope.
struct Handle3mf {
    PLib3MFBase* object = nullptr;
    Handle3mf() = default;
    Handle3mf(const Handle3mf&) = delete;
    Handle3mf& operator=(const Handle3mf&) = delete;
    ~Handle3mf()
    {
        if (object)
            lib3mf_release(object);
    }
};

void appendMeshObject(PLib3MFModelMeshObject* mesh, std::vector<Vec3f>& vertices, std::vector<Triangle>& faces)
{
    DWORD vertexCount = 0, triangleCount = 0;
    check(lib3mf_meshobject_getvertexcount(mesh, &vertexCount), mesh, "getvertexcount");
    check(lib3mf_meshobject_gettrianglecount(mesh, &triangleCount), mesh, "gettrianglecount");
    const std::uint32_t base = std::uint32_t(vertices.size());

    std::vector<MODELMESHVERTEX> v(vertexCount);
    DWORD written = 0;
    if (vertexCount > 0)
        check(lib3mf_meshobject_getvertices(mesh, v.data(), vertexCount, &written), mesh, "getvertices");
    for (DWORD i = 0; i < written && i < vertexCount; ++i)
        vertices.emplace_back(v[i].m_fPosition[0], v[i].m_fPosition[1], v[i].m_fPosition[2]);

    std::vector<MODELMESHTRIANGLE> t(triangleCount);
    written = 0;
    if (triangleCount > 0)
        check(lib3mf_meshobject_gettriangleindices(mesh, t.data(), triangleCount, &written), mesh,
              "gettriangleindices");
    for (DWORD i = 0; i < written && i < triangleCount; ++i)
        faces.emplace_back(base + t[i].m_nIndices[0], base + t[i].m_nIndices[1], base + t[i].m_nIndices[2]);
}

void readModel(const std::string& path, std::vector<Vec3f>& vertices, std::vector<Triangle>& faces)
{
    Handle3mf model, reader, iterator;
    check(lib3mf_createmodel(&model.object), nullptr, "createmodel");
    check(lib3mf_model_queryreader(model.object, "3mf", &reader.object), model.object, "queryreader");
    // The UTF-8 entry point: lib3mf widens the name itself on Windows.
    check(lib3mf_reader_readfromfileutf8(reader.object, path.c_str()), reader.object, "readfromfile");
    check(lib3mf_model_getmeshobjects(model.object, &iterator.object), model.object, "getmeshobjects");
    for (;;) {
        BOOL hasNext = 0;
        check(lib3mf_resourceiterator_movenext(iterator.object, &hasNext), iterator.object, "movenext");
        if (!hasNext)
            break;
        Handle3mf resource;
        check(lib3mf_resourceiterator_getcurrent(iterator.object, &resource.object), iterator.object, "getcurrent");
        appendMeshObject(resource.object, vertices, faces);
    }
}

} // namespace

bool import3mf(const std::string& path, std::vector<Vec3f>& vertices, std::vector<Triangle>& faces,
               std::string* error)
{
    vertices.clear();
    faces.clear();
    try {
        readModel(path, vertices, faces);
    } catch (const Lib3mfError& e) {
        if (error)
            *error = "3MF load error: " + e.message();
        return false;
    } catch (const std::exception& e) {
        if (error)
            *error = std::string("3MF load error: ") + e.what();
        return false;
    }
    dropNonFiniteVertices(vertices, faces);
    if (vertices.empty() || faces.empty()) {
        if (error)
            *error = "No mesh data found in 3MF file.";
        return false;
    }
    return true;
}
