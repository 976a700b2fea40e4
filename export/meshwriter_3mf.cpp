// 3MF through lib3mf 1.8's C interface: one mesh object, one build item
// without a transform, millimetre units.
#include "export/meshwriter.h"

#include <Model/COM/NMR_DLLInterfaces.h>

#include <algorithm>
#include <cstdio>

namespace meshwriter {

namespace {

using namespace NMR;

// Releases a lib3mf object when leaving scope.
struct Handle {
    PLib3MFBase* object = nullptr;
    Handle() = default;
    Handle(const Handle&) = delete;
    Handle& operator=(const Handle&) = delete;
    ~Handle()
    {
        if (object)
            lib3mf_release(object);
    }
};

bool failed(LIB3MFRESULT result, PLib3MFBase* object, const char* call, std::string& error)
{
    if (result == LIB3MF_OK)
        return false;
    DWORD code = 0;
    LPCSTR text = nullptr;
    if (object)
        lib3mf_getlasterror(object, &code, &text);
    error = std::string("3MF writer: ") + (text && *text ? text : call);
    return true;
}

struct ProgressBridge {
    const ItemProgress* progress;
    std::size_t triangles;
    bool canceled = false;
};

bool onProgress(int percent, ProgressIdentifier, void* data)
{
    auto* bridge = static_cast<ProgressBridge*>(data);
    if (*bridge->progress && !(*bridge->progress)(int(bridge->triangles * std::size_t(std::max(0, percent)) / 100)))
        bridge->canceled = true;
    return !bridge->canceled;
}

// lib3mf gives every object, build and build item a random UUID; these are
// drawn from the geometry instead, so the same mesh always gives the same
// file (the window's export and the command line's agree byte for byte).
struct UuidSource {
    std::uint64_t a = 0xcbf29ce484222325ull, b = 0x84222325cbf29ce4ull;

    void add(const void* data, std::size_t bytes)
    {
        const auto* p = static_cast<const unsigned char*>(data);
        for (std::size_t i = 0; i < bytes; ++i) {
            a = (a ^ p[i]) * 0x100000001b3ull;
            b = (b ^ p[i]) * 0x100000001b3ull + 0x9e3779b97f4a7c15ull;
        }
    }

    std::string uuid(unsigned salt) const
    {
        std::uint64_t hi = a ^ (0x9e3779b97f4a7c15ull * (salt + 1)), lo = b ^ (0xc2b2ae3d27d4eb4full * (salt + 1));
        hi = (hi & ~0xf000ull) | 0x5000ull;                                  // version 5: name-based
        lo = (lo & 0x3fffffffffffffffull) | 0x8000000000000000ull;          // RFC 4122 variant
        char text[40];
        std::snprintf(text, sizeof text, "%08x-%04x-%04x-%04x-%012llx", unsigned(hi >> 32), unsigned(hi >> 16 & 0xffff),
                      unsigned(hi & 0xffff), unsigned(lo >> 48), static_cast<unsigned long long>(lo & 0xffffffffffffull));
        return text;
    }
};

// lib3mf streams the package through these two calls (one pass, where
// asking for the size first would encode everything twice). Both return 0
// for success.
struct Sink {
    std::vector<unsigned char>* bytes;
    std::size_t at = 0;
};

unsigned int writeChunk(unsigned char* data, unsigned int count, void* user)
{
    auto* sink = static_cast<Sink*>(user);
    if (sink->bytes->size() < sink->at + count)
        sink->bytes->resize(sink->at + count);
    std::copy(data, data + count, sink->bytes->begin() + std::ptrdiff_t(sink->at));
    sink->at += count;
    return 0;
}

unsigned int seekTo(unsigned long long position, void* user)
{
    auto* sink = static_cast<Sink*>(user);
    if (position > sink->bytes->size())
        return 1;
    sink->at = std::size_t(position);
    return 0;
}

} // namespace

bool threeMfBytes(const std::vector<Vec3f>& vertices, const std::vector<Triangle>& faces, const Compacted& used,
                  std::vector<unsigned char>& bytes, std::string& error, const ItemProgress& progress)
{
    std::vector<MODELMESHVERTEX> nodes(used.used.size());
    for (std::size_t i = 0; i < used.used.size(); ++i)
        for (int k = 0; k < 3; ++k)
            nodes[i].m_fPosition[k] = vertices[used.used[i]][k];
    std::vector<MODELMESHTRIANGLE> triangles;
    triangles.reserve(used.triangles);
    for (const Triangle& t : faces)
        if (t.inRange(vertices.size()))
            triangles.push_back({{used.newIndex[t[0]], used.newIndex[t[1]], used.newIndex[t[2]]}});

    UuidSource ids;
    ids.add(nodes.data(), nodes.size() * sizeof(MODELMESHVERTEX));
    ids.add(triangles.data(), triangles.size() * sizeof(MODELMESHTRIANGLE));

    Handle model, mesh, item, writer;
    if (failed(lib3mf_createmodel(reinterpret_cast<PLib3MFModel**>(&model.object)), nullptr, "createmodel", error))
        return false;
    if (failed(lib3mf_model_setunit(model.object, MODELUNIT_MILLIMETER), model.object, "setunit", error) ||
        failed(lib3mf_model_addmeshobject(model.object, reinterpret_cast<PLib3MFModelMeshObject**>(&mesh.object)),
               model.object, "addmeshobject", error) ||
        failed(lib3mf_meshobject_setgeometry(mesh.object, nodes.data(), DWORD(nodes.size()), triangles.data(),
                                             DWORD(triangles.size())),
               mesh.object, "setgeometry", error) ||
        failed(lib3mf_model_addbuilditem(model.object, mesh.object, nullptr,
                                         reinterpret_cast<PLib3MFModelBuildItem**>(&item.object)),
               model.object, "addbuilditem", error) ||
        failed(lib3mf_object_setuuidutf8(mesh.object, ids.uuid(0).c_str()), mesh.object, "setuuid", error) ||
        failed(lib3mf_builditem_setuuidutf8(item.object, ids.uuid(1).c_str()), item.object, "setuuid", error) ||
        failed(lib3mf_model_setbuilduuidutf8(model.object, ids.uuid(2).c_str()), model.object, "setuuid", error) ||
        failed(lib3mf_model_querywriter(model.object, "3mf", reinterpret_cast<PLib3MFModelWriter**>(&writer.object)),
               model.object, "querywriter", error))
        return false;
    ProgressBridge bridge{&progress, triangles.size()};
    if (progress && failed(lib3mf_writer_setprogresscallback(writer.object, onProgress, &bridge), writer.object,
                           "setprogresscallback", error))
        return false;
    if (progress && !progress(0)) {
        error = "Export canceled.";
        return false;
    }
    bytes.clear();
    bytes.reserve(triangles.size() * 16);
    Sink sink{&bytes};
    const bool ok = !failed(lib3mf_writer_writetocallback(writer.object, reinterpret_cast<void*>(&writeChunk),
                                                          reinterpret_cast<void*>(&seekTo), &sink),
                            writer.object, "writetocallback", error);
    if (bridge.canceled)
        error = "Export canceled.";
    return ok && !bridge.canceled;
}

} // namespace meshwriter
