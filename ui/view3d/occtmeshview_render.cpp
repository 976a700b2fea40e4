// OcctMeshView on the GPU: context set-up, the three programs, the chunked
// mesh upload and the frame.
#include "ui/view3d/occtmeshview.h"

#include <QDebug>
#include <QOpenGLContext>
#include <QOpenGLShaderProgram>
#include <QPainter>
#include <QTimer>
#include <QVector4D>

#include <algorithm>

namespace {

const char* const kMeshVertexShader = R"(#version 330 core
layout(location = 0) in vec3 aPos;
layout(location = 1) in vec3 aNormal;
uniform mat4 uMVP;
uniform mat4 uModelView;
uniform mat3 uNormalMat;
out vec3 vFragPos;
out vec3 vNormal;
void main()
{
    vFragPos = (uModelView * vec4(aPos, 1.0)).xyz;
    vNormal = normalize(uNormalMat * aNormal);
    gl_Position = uMVP * vec4(aPos, 1.0);
}
)";

// Four lights fixed in view space; two-sided so open scans read from inside.
const char* const kMeshFragmentShader = R"(#version 330 core
in vec3 vFragPos;
in vec3 vNormal;
uniform vec3 uModelColor;
out vec4 fragColor;
const vec3 kLightDir[4] = vec3[4](vec3(0.51, 0.38, 0.77), vec3(-0.87, 0.22, 0.44),
                                  vec3(0.24, -0.94, -0.24), vec3(0.0, 0.0, 1.0));
const vec3 kLightColor[4] = vec3[4](vec3(1.0, 0.98, 0.95), vec3(0.92, 0.95, 1.0),
                                    vec3(0.95, 0.95, 1.0), vec3(1.0, 1.0, 1.0));
const float kLightIntensity[4] = float[4](0.85, 0.45, 0.35, 0.25);
void main()
{
    vec3 N = normalize(vNormal);
    if (!gl_FrontFacing)
        N = -N;
    vec3 V = normalize(-vFragPos);
    vec3 color = 0.10 * uModelColor;
    for (int i = 0; i < 4; ++i) {
        vec3 L = normalize(kLightDir[i]);
        float d = max(dot(N, L), 0.0);
        vec3 R = reflect(-L, N);
        float s = pow(max(dot(V, R), 0.0), 30.0);
        color += kLightIntensity[i] * kLightColor[i] * (0.70 * d * uModelColor + 0.40 * s * vec3(1.0));
    }
    fragColor = vec4(color, 1.0);
}
)";

const char* const kBgVertexShader = R"(#version 330 core
layout(location = 0) in vec2 aPos;
out float vMix;
void main()
{
    vMix = (aPos.y + 1.0) * 0.5;
    gl_Position = vec4(aPos, 0.9999, 1.0);
}
)";

const char* const kBgFragmentShader = R"(#version 330 core
in float vMix;
uniform vec3 uBgBottom;
uniform vec3 uBgTop;
out vec4 fragColor;
void main()
{
    fragColor = vec4(mix(uBgBottom, uBgTop, vMix), 1.0);
}
)";

// Translucent planes (slice indicator, datum planes).
const char* const kFlatVertexShader = R"(#version 330 core
layout(location = 0) in vec3 aPos;
uniform mat4 uMVP;
void main()
{
    gl_Position = uMVP * vec4(aPos, 1.0);
}
)";

const char* const kFlatFragmentShader = R"(#version 330 core
uniform vec4 uColor;
out vec4 fragColor;
void main()
{
    fragColor = uColor;
}
)";

const float kBgQuad[12] = {-1, -1, 1, -1, 1, 1, -1, -1, 1, 1, -1, 1};

QString glString(QOpenGLFunctions_3_3_Core* gl, GLenum name)
{
    const auto* text = reinterpret_cast<const char*>(gl->glGetString(name));
    return text ? QString::fromLatin1(text) : QStringLiteral("null");
}

QOpenGLShaderProgram* compileProgram(QObject* parent, const QString& tag, const char* vs, const char* fs, bool* ok)
{
    auto* program = new QOpenGLShaderProgram(parent);
    const bool vsOk = program->addShaderFromSourceCode(QOpenGLShader::Vertex, vs);
    if (!vsOk)
        qWarning().noquote() << tag + QStringLiteral(" VS error: ") + program->log();
    const bool fsOk = program->addShaderFromSourceCode(QOpenGLShader::Fragment, fs);
    if (!fsOk)
        qWarning().noquote() << tag + QStringLiteral(" FS error: ") + program->log();
    const bool linkOk = vsOk && fsOk && program->link();
    if (vsOk && fsOk && !linkOk)
        qWarning().noquote() << tag + QStringLiteral(" link error: ") + program->log();
    const auto flag = [](bool b) { return b ? QStringLiteral("true") : QStringLiteral("false"); };
    qInfo().noquote() << QStringLiteral("%1 shader OK: vs=%2 fs=%3 link=%4").arg(tag, flag(vsOk), flag(fsOk), flag(linkOk));
    *ok = linkOk;
    return program;
}

} // namespace

void OcctMeshView::initializeGL()
{
    glReady_ = false;
    if (!initializeOpenGLFunctions()) {
        qWarning().noquote() << QStringLiteral("OcctMeshView: Failed to initialize OpenGL 3.3 Core functions!");
        return;
    }
    qInfo().noquote() << QStringLiteral("GL_VERSION:").leftJustified(13) + glString(this, GL_VERSION);
    qInfo().noquote() << QStringLiteral("GL_RENDERER:").leftJustified(13) + glString(this, GL_RENDERER);
    qInfo().noquote() << QStringLiteral("GL_VENDOR:").leftJustified(13) + glString(this, GL_VENDOR);

    connect(context(), &QOpenGLContext::aboutToBeDestroyed, this, &OcctMeshView::releaseContextObjects,
            Qt::UniqueConnection);

    glEnable(GL_DEPTH_TEST);
    glDepthFunc(GL_LEQUAL);
    glEnable(GL_MULTISAMPLE);
    glClearColor(bgBottom_.x(), bgBottom_.y(), bgBottom_.z(), 1.0f);

    buildPrograms();

    glGenVertexArrays(1, &meshVao_);
    glGenBuffers(1, &meshVbo_);
    glBindVertexArray(meshVao_);
    glBindBuffer(GL_ARRAY_BUFFER, meshVbo_);
    glEnableVertexAttribArray(0);
    glVertexAttribPointer(0, 3, GL_FLOAT, GL_FALSE, 6 * sizeof(float), nullptr);
    glEnableVertexAttribArray(1);
    glVertexAttribPointer(1, 3, GL_FLOAT, GL_FALSE, 6 * sizeof(float), reinterpret_cast<void*>(3 * sizeof(float)));

    glGenVertexArrays(1, &bgVao_);
    glGenBuffers(1, &bgVbo_);
    glBindVertexArray(bgVao_);
    glBindBuffer(GL_ARRAY_BUFFER, bgVbo_);
    glEnableVertexAttribArray(0);
    glVertexAttribPointer(0, 2, GL_FLOAT, GL_FALSE, 2 * sizeof(float), nullptr);
    bgUploadPending_ = true;

    glGenVertexArrays(1, &flatVao_);
    glGenBuffers(1, &flatVbo_);
    glBindVertexArray(flatVao_);
    glBindBuffer(GL_ARRAY_BUFFER, flatVbo_);
    glBufferData(GL_ARRAY_BUFFER, 4 * 3 * sizeof(float), nullptr, GL_DYNAMIC_DRAW);
    glEnableVertexAttribArray(0);
    glVertexAttribPointer(0, 3, GL_FLOAT, GL_FALSE, 3 * sizeof(float), nullptr);

    glBindVertexArray(0);
    glBindBuffer(GL_ARRAY_BUFFER, 0);
    initHeatGL();

    // A new context needs the whole mesh again.
    meshBufferAllocated_ = false;
    uploadCursor_ = 0;
    readyCount_ = 0;
    meshUploadPending_ = !vertexData_.empty();
    glReady_ = true;
}

bool OcctMeshView::buildPrograms()
{
    delete meshProgram_;
    delete bgProgram_;
    delete flatProgram_;
    meshProgram_ = compileProgram(this, QStringLiteral("Mesh"), kMeshVertexShader, kMeshFragmentShader, &meshProgramOk_);
    bgProgram_ = compileProgram(this, QStringLiteral("BG"), kBgVertexShader, kBgFragmentShader, &bgProgramOk_);
    flatProgram_ = compileProgram(this, QStringLiteral("Plane"), kFlatVertexShader, kFlatFragmentShader, &flatProgramOk_);
    return meshProgramOk_ && bgProgramOk_;
}

void OcctMeshView::releaseContextObjects()
{
    makeCurrent();
    cleanupGL();
    doneCurrent();
}

void OcctMeshView::cleanupGL()
{
    if (!glReady_)
        return;
    const GLuint buffers[] = {meshVbo_, bgVbo_, flatVbo_};
    const GLuint arrays[] = {meshVao_, bgVao_, flatVao_};
    glDeleteBuffers(3, buffers);
    glDeleteVertexArrays(3, arrays);
    meshVbo_ = bgVbo_ = flatVbo_ = 0;
    meshVao_ = bgVao_ = flatVao_ = 0;
    delete meshProgram_;
    delete bgProgram_;
    delete flatProgram_;
    meshProgram_ = bgProgram_ = flatProgram_ = nullptr;
    meshProgramOk_ = bgProgramOk_ = flatProgramOk_ = false;
    releaseHeatGL();
    meshBufferAllocated_ = false;
    readyCount_ = 0;
    glReady_ = false;
}

void OcctMeshView::uploadPendingMesh()
{
    if (!meshUploadPending_ || vertexData_.empty())
        return;
    glBindBuffer(GL_ARRAY_BUFFER, meshVbo_);
    const std::size_t total = vertexData_.size();
    bool done = true;
    if (!progressive_) {
        glBufferData(GL_ARRAY_BUFFER, GLsizeiptr(total * sizeof(float)), vertexData_.data(), GL_STATIC_DRAW);
        uploadCursor_ = total;
    } else {
        if (!meshBufferAllocated_) {
            glBufferData(GL_ARRAY_BUFFER, GLsizeiptr(total * sizeof(float)), nullptr, GL_STATIC_DRAW);
            meshBufferAllocated_ = true;
            uploadCursor_ = 0;
        }
        const std::size_t count = std::min<std::size_t>(kUploadChunkFloats, total - uploadCursor_);
        glBufferSubData(GL_ARRAY_BUFFER, GLintptr(uploadCursor_ * sizeof(float)), GLsizeiptr(count * sizeof(float)),
                        vertexData_.data() + uploadCursor_);
        uploadCursor_ += count;
        done = uploadCursor_ >= total;
    }
    glBindBuffer(GL_ARRAY_BUFFER, 0);
    if (!done) {
        readyCount_ = int(uploadCursor_ / kFloatsPerTriangle);
        QTimer::singleShot(0, this, [this]() { update(); });
        return;
    }
    readyCount_ = triangleCount_;
    meshUploadPending_ = false;
    std::vector<float>().swap(vertexData_);
}

void OcctMeshView::drawFlatQuad(const QVector3D corners[4], const QVector4D& color, const QMatrix4x4& mvp)
{
    const float data[12] = {corners[0].x(), corners[0].y(), corners[0].z(), corners[1].x(), corners[1].y(), corners[1].z(),
                            corners[3].x(), corners[3].y(), corners[3].z(), corners[2].x(), corners[2].y(), corners[2].z()};
    glBindVertexArray(flatVao_);
    glBindBuffer(GL_ARRAY_BUFFER, flatVbo_);
    glBufferSubData(GL_ARRAY_BUFFER, 0, sizeof(data), data);
    flatProgram_->setUniformValue("uMVP", mvp);
    flatProgram_->setUniformValue("uColor", color);
    glDrawArrays(GL_TRIANGLE_STRIP, 0, 4);
    glBindBuffer(GL_ARRAY_BUFFER, 0);
}

void OcctMeshView::drawSlicePlane(const QMatrix4x4& mvp)
{
    // Padded a little so the plane's rim shows around the part.
    const QVector3D pad = 0.04f * (sliceMax_ - sliceMin_) + QVector3D(0.5f, 0.5f, 0.5f);
    const QVector3D lo = sliceMin_ - pad, hi = sliceMax_ + pad;
    const int u = (sliceAxis_ + 1) % 3, v = (sliceAxis_ + 2) % 3;
    QVector3D corners[4];
    const float us[4] = {lo[u], hi[u], hi[u], lo[u]};
    const float vs[4] = {lo[v], lo[v], hi[v], hi[v]};
    for (int k = 0; k < 4; ++k) {
        corners[k][sliceAxis_] = slicePosition_;
        corners[k][u] = us[k];
        corners[k][v] = vs[k];
    }
    drawFlatQuad(corners, QVector4D(1.0f, 0.75f, 0.2f, 0.22f), mvp);
}

void OcctMeshView::drawDatumPlanes(const QMatrix4x4& mvp)
{
    const float half = std::max(0.6f * (boundsMax_ - boundsMin_).length(), 1.0f);
    for (const DatumPlane& plane : datumPlanes_) {
        const QVector3D n = plane.normal.normalized();
        const QVector3D ref = std::fabs(n.z()) < 0.9f ? QVector3D(0, 0, 1) : QVector3D(1, 0, 0);
        const QVector3D a = QVector3D::crossProduct(n, ref).normalized() * half;
        const QVector3D b = QVector3D::crossProduct(n, a.normalized()) * half;
        const QVector3D corners[4] = {plane.point - a - b, plane.point + a - b, plane.point + a + b, plane.point - a + b};
        drawFlatQuad(corners, QVector4D(0.35f, 0.85f, 0.55f, 0.20f), mvp);
    }
}

void OcctMeshView::paintGL()
{
    if (!glReady_)
        return;
    const qreal dpr = devicePixelRatioF();
    glViewport(0, 0, int(width() * dpr), int(height() * dpr));
    // The overlay painter of the previous frame may have left its state behind.
    glDisable(GL_BLEND);
    glDisable(GL_SCISSOR_TEST);
    glDisable(GL_STENCIL_TEST);
    glDisable(GL_CULL_FACE);
    glDepthMask(GL_TRUE);
    glColorMask(GL_TRUE, GL_TRUE, GL_TRUE, GL_TRUE);

    glEnable(GL_DEPTH_TEST);
    glDepthFunc(GL_LEQUAL);
    glEnable(GL_MULTISAMPLE);
    glClearColor(bgBottom_.x(), bgBottom_.y(), bgBottom_.z(), 1.0f);
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);

    if (bgUploadPending_) {
        glBindBuffer(GL_ARRAY_BUFFER, bgVbo_);
        glBufferData(GL_ARRAY_BUFFER, sizeof(kBgQuad), kBgQuad, GL_STATIC_DRAW);
        glBindBuffer(GL_ARRAY_BUFFER, 0);
        bgUploadPending_ = false;
    }
    if (bgProgramOk_) {
        glDisable(GL_DEPTH_TEST);
        bgProgram_->bind();
        bgProgram_->setUniformValue("uBgBottom", bgBottom_);
        bgProgram_->setUniformValue("uBgTop", bgTop_);
        glBindVertexArray(bgVao_);
        glDrawArrays(GL_TRIANGLES, 0, 6);
        glEnable(GL_DEPTH_TEST);
    }

    uploadPendingMesh();

    const QMatrix4x4 view = viewMatrix();
    const QMatrix4x4 mvp = projectionMatrix() * view;
    if (hasMesh_ && meshVisible_ && readyCount_ > 0 && meshProgramOk_) {
        meshProgram_->bind();
        meshProgram_->setUniformValue("uMVP", mvp);
        meshProgram_->setUniformValue("uModelView", view);
        meshProgram_->setUniformValue("uNormalMat", view.normalMatrix());
        meshProgram_->setUniformValue("uModelColor", modelColor_);
        if (wireframe_)
            glPolygonMode(GL_FRONT_AND_BACK, GL_LINE);
        glBindVertexArray(meshVao_);
        glDrawArrays(GL_TRIANGLES, 0, readyCount_ * 3);
        if (wireframe_)
            glPolygonMode(GL_FRONT_AND_BACK, GL_FILL);
    }
    if (hasMesh_ && heatEnabled_)
        drawHeat(mvp);

    // Translucent planes test depth against the mesh but leave it unchanged.
    if (flatProgramOk_ && hasMesh_ && (sliceVisible_ || !datumPlanes_.isEmpty())) {
        glEnable(GL_BLEND);
        glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
        glDepthMask(GL_FALSE);
        flatProgram_->bind();
        if (!datumPlanes_.isEmpty())
            drawDatumPlanes(mvp);
        if (sliceVisible_)
            drawSlicePlane(mvp);
        glDepthMask(GL_TRUE);
        glDisable(GL_BLEND);
    }
    glBindVertexArray(0);
    glUseProgram(0);

    if (!hasMesh_ && wireSegments_.empty() && secondaryWireSegments_.empty())
        return;
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    paintOverlays(painter);
}
