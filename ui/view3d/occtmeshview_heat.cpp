// The curvature heat overlay: one coloured point per render-mesh vertex,
// depth-tested against the surface and nudged towards the viewer so it is
// not lost in the triangles it sits on.
#include "ui/view3d/occtmeshview.h"

#include <QDebug>
#include <QOpenGLShaderProgram>

#include <algorithm>

namespace {

const char* const kHeatVertexShader = R"(#version 330 core
layout(location = 0) in vec3 aPos;
layout(location = 1) in float aHeat;
uniform mat4 uMVP;
out vec3 vColor;
void main()
{
    float h = clamp(aHeat, 0.0, 1.0);
    // Blue through green to red.
    vColor = h < 0.5 ? mix(vec3(0.15, 0.35, 1.0), vec3(0.2, 0.9, 0.3), h * 2.0)
                     : mix(vec3(0.2, 0.9, 0.3), vec3(1.0, 0.2, 0.15), (h - 0.5) * 2.0);
    gl_Position = uMVP * vec4(aPos, 1.0);
    gl_Position.z -= 0.002 * gl_Position.w;
    gl_PointSize = 3.0;
}
)";

const char* const kHeatFragmentShader = R"(#version 330 core
in vec3 vColor;
out vec4 fragColor;
void main()
{
    fragColor = vec4(vColor, 1.0);
}
)";

} // namespace

void OcctMeshView::setHeatValues(std::vector<float> values)
{
    heatValues_ = std::move(values);
    heatUploadPending_ = true;
    update();
}

void OcctMeshView::setHeatEnabled(bool on)
{
    heatEnabled_ = on;
    update();
}

void OcctMeshView::initHeatGL()
{
    delete heatProgram_;
    heatProgram_ = new QOpenGLShaderProgram(this);
    heatProgramOk_ = heatProgram_->addShaderFromSourceCode(QOpenGLShader::Vertex, kHeatVertexShader)
                     && heatProgram_->addShaderFromSourceCode(QOpenGLShader::Fragment, kHeatFragmentShader)
                     && heatProgram_->link();
    if (!heatProgramOk_)
        qWarning().noquote() << QStringLiteral("Heat shader error: ") + heatProgram_->log();
    glGenVertexArrays(1, &heatVao_);
    glGenBuffers(1, &heatVbo_);
    glBindVertexArray(heatVao_);
    glBindBuffer(GL_ARRAY_BUFFER, heatVbo_);
    glEnableVertexAttribArray(0);
    glVertexAttribPointer(0, 3, GL_FLOAT, GL_FALSE, 4 * sizeof(float), nullptr);
    glEnableVertexAttribArray(1);
    glVertexAttribPointer(1, 1, GL_FLOAT, GL_FALSE, 4 * sizeof(float), reinterpret_cast<void*>(3 * sizeof(float)));
    glBindVertexArray(0);
    glBindBuffer(GL_ARRAY_BUFFER, 0);
    heatUploadPending_ = !heatValues_.empty(); // a new context has no buffer yet
    heatPointCount_ = 0;
}

void OcctMeshView::releaseHeatGL()
{
    glDeleteBuffers(1, &heatVbo_);
    glDeleteVertexArrays(1, &heatVao_);
    heatVbo_ = heatVao_ = 0;
    delete heatProgram_;
    heatProgram_ = nullptr;
    heatProgramOk_ = false;
    heatPointCount_ = 0;
}

void OcctMeshView::drawHeat(const QMatrix4x4& mvp)
{
    if (!heatProgramOk_)
        return;
    if (heatUploadPending_) {
        const std::size_t count = std::min(heatValues_.size(), pickVertices_.size());
        std::vector<float> data(count * 4);
        for (std::size_t i = 0; i < count; ++i) {
            const Vec3f& p = pickVertices_[i];
            data[4 * i] = p.x;
            data[4 * i + 1] = p.y;
            data[4 * i + 2] = p.z;
            data[4 * i + 3] = heatValues_[i];
        }
        glBindBuffer(GL_ARRAY_BUFFER, heatVbo_);
        glBufferData(GL_ARRAY_BUFFER, GLsizeiptr(data.size() * sizeof(float)), data.data(), GL_STATIC_DRAW);
        glBindBuffer(GL_ARRAY_BUFFER, 0);
        heatPointCount_ = int(count);
        heatUploadPending_ = false;
    }
    if (heatPointCount_ == 0)
        return;
    glEnable(GL_PROGRAM_POINT_SIZE);
    heatProgram_->bind();
    heatProgram_->setUniformValue("uMVP", mvp);
    glBindVertexArray(heatVao_);
    glDrawArrays(GL_POINTS, 0, heatPointCount_);
    glBindVertexArray(0);
    glDisable(GL_PROGRAM_POINT_SIZE);
}
