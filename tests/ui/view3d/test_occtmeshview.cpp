// The 3D view: camera maths, the vertex array, the chunked upload, what the
// GL image shows, ray picking, and every pick workflow's signal.
#include "ui/view3d/occtmeshview.h"

#include "bench/syntheticscan.h"
#include "tests/ui/common/uitestutil.h"

#include <QApplication>
#include <QDir>
#include <QImage>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QOpenGLContext>
#include <QSignalSpy>
#include <QTest>
#include <QVector2D>
#include <QWheelEvent>

#include <algorithm>
#include <array>
#include <cmath>
#include <map>
#include <memory>

namespace {

constexpr float kH = 10.0f; // half size of the test cube

// Outward-wound cube about the origin. Faces 2 and 3 are the top (+Z);
// the default camera (azimuth 225, elevation 25) sees top, -X and -Y.
MeshModel cubeModel(float h = kH)
{
    MeshModel m;
    m.vertices.assign(std::vector<Vec3f>{{-h, -h, -h}, {h, -h, -h}, {h, h, -h}, {-h, h, -h},
                                         {-h, -h, h},  {h, -h, h},  {h, h, h},  {-h, h, h}});
    m.faces.assign(std::vector<Triangle>{{0, 2, 1}, {0, 3, 2}, {4, 5, 6}, {4, 6, 7}, {0, 1, 5}, {0, 5, 4},
                                         {3, 7, 6}, {3, 6, 2}, {0, 4, 7}, {0, 7, 3}, {1, 2, 6}, {1, 6, 5}});
    return m;
}

// An outward-wound box about centre with half sizes hx, hy, hz.
MeshModel boxModel(float hx, float hy, float hz, const Vec3f& centre = Vec3f(0, 0, 0))
{
    MeshModel m = cubeModel(1.0f);
    std::vector<Vec3f> v(m.vertices.begin(), m.vertices.end());
    for (Vec3f& p : v)
        p = Vec3f(p.x * hx, p.y * hy, p.z * hz) + centre;
    m.vertices.assign(std::move(v));
    return m;
}

// A zigzag strip of n triangles in the XY plane about the origin.
MeshModel stripModel(int n)
{
    MeshModel m;
    std::vector<Vec3f> v;
    std::vector<Triangle> f;
    const int columns = n / 2 + 2;
    for (int i = 0; i < columns; ++i) {
        const float x = -50.0f + 100.0f * float(i) / float(columns - 1);
        v.push_back({x, -5.0f, 0.0f});
        v.push_back({x, 5.0f, 0.0f});
    }
    for (int i = 0; i < n; ++i)
        f.push_back(Triangle(std::uint32_t(i), std::uint32_t(i + 1), std::uint32_t(i + 2)));
    m.vertices.assign(std::move(v));
    m.faces.assign(std::move(f));
    return m;
}

// An aligned synthetic scan with its render mesh, as after a load.
MeshModel scanModel(std::size_t triangles)
{
    MeshModel m = makeSyntheticModel(triangles);
    m.updateCaches();
    m.autoAlignOnImport();
    return m;
}

// A sphere of radius r about the origin as a subdivided cube pushed onto it:
// n x n quads per cube face, 12 n^2 triangles wound outwards, no poles.
MeshModel sphereModel(int n, float r)
{
    std::vector<Vec3f> v;
    std::vector<Triangle> f;
    std::map<std::array<int, 3>, std::uint32_t> index; // cube lattice point -> vertex
    const auto vertex = [&](const std::array<int, 3>& q) {
        const auto [it, fresh] = index.emplace(q, std::uint32_t(v.size()));
        if (fresh) {
            const Vec3f c(float(2 * q[0] - n), float(2 * q[1] - n), float(2 * q[2] - n));
            v.push_back(c * (r / std::sqrt(dot(c, c))));
        }
        return it->second;
    };
    for (int axis = 0; axis < 3; ++axis)
        for (int side = 0; side < 2; ++side)
            for (int i = 0; i < n; ++i)
                for (int j = 0; j < n; ++j) {
                    std::uint32_t c[4];
                    const int di[4] = {0, 1, 1, 0}, dj[4] = {0, 0, 1, 1};
                    for (int k = 0; k < 4; ++k) {
                        std::array<int, 3> q;
                        q[axis] = side * n;
                        q[(axis + 1) % 3] = i + di[k];
                        q[(axis + 2) % 3] = j + dj[k];
                        c[k] = vertex(q);
                    }
                    if (side == 1) {
                        f.emplace_back(c[0], c[1], c[2]);
                        f.emplace_back(c[0], c[2], c[3]);
                    } else {
                        f.emplace_back(c[0], c[2], c[1]);
                        f.emplace_back(c[0], c[3], c[2]);
                    }
                }
    MeshModel m;
    m.vertices.assign(std::move(v));
    m.faces.assign(std::move(f));
    return m;
}

QVector3D qv(const Vec3f& v) { return QVector3D(v.x, v.y, v.z); }

void click(QWidget* w, const QPointF& pos)
{
    sendMouse(w, QEvent::MouseButtonPress, pos, Qt::LeftButton, Qt::LeftButton);
    sendMouse(w, QEvent::MouseButtonRelease, pos, Qt::LeftButton, Qt::NoButton);
}

void drag(QWidget* w, const QPointF& from, const QPointF& to, Qt::MouseButton button)
{
    sendMouse(w, QEvent::MouseButtonPress, from, button, button);
    sendMouse(w, QEvent::MouseMove, to, Qt::NoButton, button);
    sendMouse(w, QEvent::MouseButtonRelease, to, button, Qt::NoButton);
}

void wheel(QWidget* w, const QPointF& at, int delta)
{
    QWheelEvent event(at, w->mapToGlobal(at), QPoint(), QPoint(0, delta), Qt::NoButton, Qt::NoModifier,
                      Qt::NoScrollPhase, false);
    QCoreApplication::sendEvent(w, &event);
}

void sendKey(QWidget* w, int key)
{
    QKeyEvent event(QEvent::KeyPress, key, Qt::NoModifier);
    QCoreApplication::sendEvent(w, &event);
}

bool fuzzyVec(const QVector3D& a, const QVector3D& b, float tolerance = 1e-4f)
{
    return (a - b).length() <= tolerance;
}

QPointF projected(const OcctMeshView& view, const QVector3D& world)
{
    QPointF p;
    if (!view.worldToScreen(world, &p))
        qFatal("point behind the eye");
    return p;
}

int channelDistance(const QColor& a, const QColor& b)
{
    return std::abs(a.red() - b.red()) + std::abs(a.green() - b.green()) + std::abs(a.blue() - b.blue());
}

// Bounding box of the pixels that differ from black, triad corner excluded.
QRect litBox(const QImage& image)
{
    QRect box;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x) {
            if (x < 130 && y > image.height() - 130)
                continue;
            if (channelDistance(image.pixelColor(x, y), Qt::black) > 24)
                box |= QRect(x, y, 1, 1);
        }
    return box;
}

// Leaves a picture next to the test binary for a person to look at.
bool saveScreenshot(const QImage& image, const char* name)
{
    const QDir dir(QDir(QCoreApplication::applicationDirPath()).filePath(QStringLiteral("screenshots")));
    return QDir().mkpath(dir.path()) && image.save(dir.filePath(QString::fromLatin1(name)));
}

QStringList capturedLog;
void captureMessages(QtMsgType, const QMessageLogContext&, const QString& message)
{
    capturedLog << message;
}

} // namespace

class TestOcctMeshView : public QObject {
    Q_OBJECT

private:
    std::unique_ptr<OcctMeshView> view_;
    bool coreContext_ = false;

    void requireGl()
    {
        if (!coreContext_)
            QSKIP("No OpenGL 3.3 core context on this display; GL image checks need one (camera and pick maths still run).");
    }

private slots:
    void init()
    {
        view_ = std::make_unique<OcctMeshView>();
        view_->resize(480, 360);
        view_->show();
        QVERIFY(QTest::qWaitForWindowExposed(view_.get()));
        const QSurfaceFormat fmt = view_->context() ? view_->context()->format() : QSurfaceFormat();
        coreContext_ = view_->isGlReady() && fmt.version() >= qMakePair(3, 3) &&
                       fmt.profile() == QSurfaceFormat::CoreProfile;
    }

    void cleanup() { view_.reset(); }

    // --- camera ----------------------------------------------------------------

    void eyeFollowsAzimuthElevationWrapsAndNaN()
    {
        OrbitCamera camera;
        camera.target = QVector3D(1, 2, 3);
        camera.distance = 10.0f;
        camera.azimuth = 90.0f;
        camera.elevation = 0.0f;
        QVERIFY(fuzzyVec(camera.eye(), QVector3D(1, 12, 3)));
        camera.azimuth = 225.0f;
        camera.elevation = 25.0f;
        const double a = 225.0 * M_PI / 180.0, e = 25.0 * M_PI / 180.0;
        const QVector3D expected = QVector3D(1, 2, 3) + 10.0f * QVector3D(float(std::cos(a) * std::cos(e)),
                                                                          float(std::sin(a) * std::cos(e)),
                                                                          float(std::sin(e)));
        QVERIFY(fuzzyVec(camera.eye(), expected));
        // The view matrix puts the target straight ahead at the distance.
        QVERIFY(fuzzyVec(camera.viewMatrix().map(camera.target), QVector3D(0, 0, -10), 1e-3f));
        // Looking straight down still has a usable up vector.
        camera.elevation = 90.0f;
        QVERIFY(fuzzyVec(camera.eye(), QVector3D(1, 2, 13), 1e-3f));
        QVERIFY(std::fabs(QVector3D::dotProduct(camera.up(), camera.forward())) < 1e-3f);
        QVERIFY(std::fabs(camera.up().length() - 1.0f) < 1e-4f);

        // Elevation wraps; NaN falls back to a unit eye on +X.
        OrbitCamera wrapped, reference;
        wrapped.elevation = 190.0f;
        reference.elevation = -170.0f;
        QCOMPARE(wrapped.usedElevation(), -170.0f);
        QVERIFY(fuzzyVec(wrapped.eye(), reference.eye(), 1e-3f));
        QVERIFY(fuzzyVec(wrapped.up(), reference.up(), 1e-5f));
        OrbitCamera nan;
        nan.azimuth = nan.elevation = nan.distance = std::nanf("");
        QVERIFY(fuzzyVec(nan.eye(), QVector3D(1, 0, 0)));
    }

    void degenerateAndEmptyMeshes()
    {
        MeshModel m;
        m.vertices.assign(std::vector<Vec3f>{{0, 0, 0}, {0, 0, 0}, {0, 0, 0}});
        m.faces.assign(std::vector<Triangle>{{0, 1, 2}});
        view_->setMesh(m);
        QVERIFY(view_->hasMesh());
        QCOMPARE(view_->camera().distance, 0.0f);
        QCOMPARE(view_->camera().fitDistance, 0.0f);
        OrbitCamera unit = view_->camera();
        unit.distance = 1.0f;
        QCOMPARE(view_->projectionMatrix(), unit.projectionMatrix(view_->width(), view_->height(), 0.0f));
        QVERIFY(fuzzyVec(view_->camera().eye(), unit.eye()));
        view_->viewIsometric();
        QCOMPARE(view_->camera().distance, 1.0f);
        QCOMPARE(view_->camera().azimuth, 45.0f);
        QVERIFY(std::fabs(view_->camera().elevation - 35.264389f) < 1e-5f);

        // An empty mesh clears the view and ends a pending pick.
        view_->setSurfacePlanePick(true);
        view_->setMesh(MeshModel());
        QVERIFY(!view_->hasMesh());
        QCOMPARE(view_->triangleCount(), 0);
        QVERIFY(!view_->surfacePlanePick());
        QVERIFY(!view_->rayPick(QPointF(240, 180)));
    }

    void orthographicMatchesPerspectiveAtTheTarget()
    {
        view_->setMesh(cubeModel());
        // Off the framed pose, so switching projection keeps the distance.
        view_->setCamera(view_->camera());
        // A point in the plane through the target, across the view direction,
        // lands on the same pixel in both projections.
        const QVector3D right = QVector3D::crossProduct(view_->camera().forward(), view_->camera().up()).normalized();
        const QVector3D point = 6.0f * right + 4.0f * view_->camera().up();
        view_->setOrthographic(true);
        const QPointF ortho = projected(*view_, point);
        view_->setOrthographic(false);
        const QPointF persp = projected(*view_, point);
        QVERIFY2(QLineF(ortho, persp).length() < 0.5, qPrintable(QStringLiteral("%1,%2 vs %3,%4")
                                                               .arg(ortho.x()).arg(ortho.y()).arg(persp.x()).arg(persp.y())));
        // Behind the eye there is no screen point in perspective.
        QPointF unused;
        QVERIFY(!view_->worldToScreen(view_->camera().eye() - 5.0f * view_->camera().forward(), &unused));
    }

    // Fit: at load, after Fit All and after View Isometric the eight box
    // corners land inside the view with a margin, yet the part fills it.
    void framingKeepsThePartInView_data()
    {
        QTest::addColumn<QVector3D>("half");
        QTest::addColumn<QSize>("size");
        QTest::addColumn<bool>("perspective");
        QTest::addColumn<QString>("command");
        const QVector3D thin(100, 5, 5), plate(60, 45, 1.5f);
        const struct { const char* name; QVector3D half; QSize size; } parts[] = {
            {"thin wide", thin, {480, 360}}, {"thin tall", thin, {240, 420}},
            {"plate wide", plate, {640, 240}}, {"plate tall", plate, {260, 480}}};
        for (const char* command : {"load", "fitAll", "isometric", "resize"})
            for (bool perspective : {false, true})
                for (const auto& part : parts)
                    QTest::newRow(qPrintable(QStringLiteral("%1 %2 %3").arg(QLatin1String(command),
                                  QLatin1String(perspective ? "persp" : "ortho"), QLatin1String(part.name))))
                        << part.half << part.size << perspective << QString::fromLatin1(command);
    }

    void framingKeepsThePartInView()
    {
        QFETCH(QVector3D, half);
        QFETCH(QSize, size);
        QFETCH(bool, perspective);
        QFETCH(QString, command);
        // The part sits off the origin, as a file's frame may put it.
        const MeshModel m = boxModel(half.x(), half.y(), half.z(), Vec3f(30, -20, 10));
        // A top-level resize reaches the widget through the X server.
        const auto resize = [this](const QSize& to) {
            view_->resize(to);
            QTRY_COMPARE(view_->size(), to);
            QTest::qWait(50);
        };
        resize(command == QLatin1String("resize") ? QSize(500, 500) : size);
        view_->setOrthographic(!perspective);
        view_->setMesh(m);
        if (command == QLatin1String("resize")) {
            resize(size);
        } else if (command == QLatin1String("fitAll")) {
            drag(view_.get(), QPointF(100, 100), QPointF(160, 130), Qt::RightButton);
            for (int i = 0; i < 8; ++i)
                wheel(view_.get(), QPointF(50, 50), 120);
            view_->fitAll();
        } else if (command == QLatin1String("isometric")) {
            drag(view_.get(), QPointF(100, 100), QPointF(180, 60), Qt::MiddleButton);
            view_->viewIsometric();
        }
        QRectF box;
        for (int corner = 0; corner < 8; ++corner) {
            const QVector3D p((corner & 1) ? half.x() : -half.x(), (corner & 2) ? half.y() : -half.y(),
                              (corner & 4) ? half.z() : -half.z());
            const QPointF s = projected(*view_, p + QVector3D(30, -20, 10));
            box = box.isNull() ? QRectF(s, QSizeF(0.01, 0.01)) : box.united(QRectF(s, QSizeF(0.01, 0.01)));
        }
        const QRectF inner = QRectF(QPointF(0, 0), QSizeF(size)).adjusted(0.03 * size.width(), 0.03 * size.height(),
                                                                          -0.03 * size.width(), -0.03 * size.height());
        const QString where = QStringLiteral("box %1,%2 %3x%4 in %5x%6")
                                  .arg(box.x()).arg(box.y()).arg(box.width()).arg(box.height())
                                  .arg(size.width()).arg(size.height());
        QVERIFY2(inner.contains(box), qPrintable(where));
        const double fill = std::max(box.width() / size.width(), box.height() / size.height());
        QVERIFY2(fill > 0.5, qPrintable(where));
    }

    // --- vertex array ---------------------------------------------------------------

    // A large triangle in XY (normal +Z) and a small one folded s = tan(fold)
    // out of it share vertex 0; a third face has a bad index. Below the
    // crease angle the shared corner blends the two by area; above it each
    // face keeps its own normal, so the edge shades sharp.
    void renderNormalsBlendByAreaAndSplitAtCreases_data()
    {
        QTest::addColumn<float>("foldDegrees");
        QTest::addColumn<bool>("blends");
        QTest::newRow("20 deg blends") << 20.0f << true;
        QTest::newRow("35 deg blends") << 35.0f << true;
        QTest::newRow("45 deg splits") << 45.0f << false;
        QTest::newRow("90 deg splits") << 90.0f << false;
    }

    void renderNormalsBlendByAreaAndSplitAtCreases()
    {
        QFETCH(float, foldDegrees);
        QFETCH(bool, blends);
        const float s = foldDegrees < 89.0f ? std::tan(foldDegrees * 3.14159265f / 180.0f) : 1e4f;
        const float scale = foldDegrees < 89.0f ? 1.0f : 1e-4f;
        MeshModel m;
        m.vertices.assign(std::vector<Vec3f>{{0, 0, 0}, {10, 0, 0}, {0, 10, 0}, {0, -scale, s * scale}, {1, 0, 0}});
        m.faces.assign(std::vector<Triangle>{{0, 1, 2}, {0, 3, 4}, {0, 1, 77}});
        view_->setMesh(m);
        QCOMPARE(view_->triangleCount(), 2);
        const std::vector<float>& data = view_->cpuVertexData();
        QCOMPARE(int(data.size()), 2 * OcctMeshView::kFloatsPerTriangle);
        const QVector3D big(0, 0, 100);                              // twice the area 50
        const QVector3D small = QVector3D(0, s, 1) * scale;           // twice the folded area
        const QVector3D shared = blends ? (big + small).normalized() : big.normalized();
        QVERIFY(fuzzyVec(QVector3D(data[3], data[4], data[5]), shared, 1e-5f));
        const QVector3D sharedSmall = blends ? (big + small).normalized() : small.normalized();
        QVERIFY(fuzzyVec(QVector3D(data[21], data[22], data[23]), sharedSmall, 1e-5f));
        // Corners with one face take that face's normal.
        QVERIFY(fuzzyVec(QVector3D(data[9], data[10], data[11]), QVector3D(0, 0, 1), 1e-5f));
        QVERIFY(fuzzyVec(QVector3D(data[27], data[28], data[29]), small.normalized(), 1e-5f));
        QVERIFY(fuzzyVec(view_->meshBoundsMax(), QVector3D(10, 10, std::max(s * scale, 0.0f))));
    }

    void wireframeThinningKeepsEveryStepthFace()
    {
        view_->setWireframeComplexity(4);
        QCOMPARE(view_->wireframeComplexity(), 5);
        view_->setWireframeComplexity(120);
        QCOMPARE(view_->wireframeComplexity(), 100);

        view_->setWireframeComplexity(5);
        const MeshModel m = stripModel(1000);
        view_->setMesh(m, true);
        QVERIFY(view_->isWireframe());
        QCOMPARE(view_->triangleCount(), 250); // target 300, step ceil(1000 / 300) = 4
        const std::vector<float>& data = view_->cpuVertexData();
        // Second kept triangle is face 4: its first corner is vertex 4.
        const Vec3f v4 = m.vertices[4];
        QVERIFY(fuzzyVec(QVector3D(data[18], data[19], data[20]), qv(v4)));
        // Shaded mode ignores the complexity.
        view_->setMesh(m, false);
        QCOMPARE(view_->triangleCount(), 1000);
    }

    void driverStringsAndShaderSummaryAreLogged()
    {
        capturedLog.clear();
        const QtMessageHandler previous = qInstallMessageHandler(captureMessages);
        OcctMeshView fresh;
        fresh.resize(100, 80);
        fresh.show();
        const bool exposed = QTest::qWaitForWindowExposed(&fresh);
        fresh.grabFramebuffer();
        qInstallMessageHandler(previous);
        QVERIFY(exposed);
        requireGl();
        for (const char* prefix : {"GL_VERSION:  ", "GL_RENDERER: ", "GL_VENDOR:   ",
                                   "Mesh shader OK: vs=true fs=true link=true", "BG shader OK: vs=true fs=true link=true"})
            QVERIFY2(std::any_of(capturedLog.cbegin(), capturedLog.cend(),
                                 [&](const QString& line) { return line.startsWith(QLatin1String(prefix)); }), prefix);
    }

    // --- upload -----------------------------------------------------------------------

    // Up to 50,000 triangles go up in one frame; beyond, in 50,000-triangle
    // slices, one per frame, and the CPU copy is freed after the last.
    void uploadIsSlicedAtFiftyThousand_data()
    {
        QTest::addColumn<int>("triangles");
        QTest::addColumn<QList<int>>("readyAfterFrames");
        QTest::newRow("50000") << 50000 << QList<int>{50000};
        QTest::newRow("50001") << 50001 << QList<int>{50000, 50001};
    }

    void uploadIsSlicedAtFiftyThousand()
    {
        QFETCH(int, triangles);
        QFETCH(QList<int>, readyAfterFrames);
        requireGl();
        view_->setMesh(stripModel(triangles));
        QCOMPARE(view_->isProgressiveUpload(), readyAfterFrames.size() > 1);
        QCOMPARE(view_->readyTriangleCount(), 0);
        for (int i = 0; i < readyAfterFrames.size(); ++i) {
            view_->grabFramebuffer();
            QCOMPARE(view_->readyTriangleCount(), readyAfterFrames[i]);
            QCOMPARE(view_->holdsCpuVertexData(), i + 1 < readyAfterFrames.size());
        }
    }

    // --- image ------------------------------------------------------------------------

    void backgroundGradientAndModelColour()
    {
        view_->setBackgroundColor(Qt::white);
        QVERIFY(fuzzyVec(view_->backgroundTop(), QVector3D(0.45f, 0.45f, 0.45f), 1e-6f));
        requireGl();
        view_->setBackgroundColor(QColor(200, 100, 50));
        const QImage image = view_->grabFramebuffer();
        const QColor top = image.pixelColor(image.width() / 2, 0);
        const QColor bottom = image.pixelColor(image.width() / 2, image.height() - 1);
        QVERIFY2(channelDistance(top, QColor(90, 45, 22)) <= 6, qPrintable(top.name()));
        QVERIFY2(channelDistance(bottom, QColor(200, 100, 50)) <= 6, qPrintable(bottom.name()));
        const QColor middle = image.pixelColor(image.width() / 2, image.height() / 2);
        QVERIFY(middle.red() > top.red() + 30 && middle.red() < bottom.red() - 30);

        // On black, a mesh covers the centre in the model colour; the corners stay black.
        view_->setBackgroundColor(Qt::black);
        view_->setMesh(cubeModel());
        view_->setModelColor(QColor(230, 40, 40));
        const QImage red = view_->grabFramebuffer();
        const QPoint centre(red.width() / 2, red.height() / 2);
        const QColor r = red.pixelColor(centre);
        QVERIFY2(r.red() > r.green() + 60 && r.red() > r.blue() + 60, qPrintable(r.name()));
        view_->setModelColor(QColor(40, 40, 230));
        const QColor b = view_->grabFramebuffer().pixelColor(centre);
        QVERIFY2(b.blue() > b.red() + 60 && b.blue() > b.green() + 60, qPrintable(b.name()));
        QVERIFY(channelDistance(red.pixelColor(2, 2), Qt::black) < 8);
    }

    // Each visible face of a cube shades as one flat tone, and the three
    // tones differ: no gradient smeared across the edges.
    void cubeFacesShadeFlatAndDistinct()
    {
        requireGl();
        view_->setBackgroundColor(Qt::black);
        view_->setMesh(cubeModel());
        const QImage image = view_->grabFramebuffer();
        QVERIFY(saveScreenshot(image, "cube_flat_faces.png"));
        // Top (+Z), -X and -Y face the default camera.
        const QVector3D centres[3] = {{0, 0, kH}, {-kH, 0, 0}, {0, -kH, 0}};
        const QVector3D spans[3][2] = {{{1, 0, 0}, {0, 1, 0}}, {{0, 1, 0}, {0, 0, 1}}, {{1, 0, 0}, {0, 0, 1}}};
        QColor tone[3];
        for (int face = 0; face < 3; ++face) {
            QList<QColor> samples;
            for (float u : {-0.75f, 0.0f, 0.75f})
                for (float v : {-0.75f, 0.0f, 0.75f}) {
                    const QPointF p = projected(*view_, centres[face] + kH * (u * spans[face][0] + v * spans[face][1]));
                    if (p.x() < 130 && p.y() > image.height() - 130) // the triad
                        continue;
                    samples << image.pixelColor(p.toPoint());
                }
            QVERIFY(samples.size() >= 5);
            for (const QColor& c : samples)
                QVERIFY2(channelDistance(c, samples.first()) <= 9,
                         qPrintable(QStringLiteral("face %1: %2 vs %3").arg(face).arg(c.name(), samples.first().name())));
            tone[face] = samples.first();
        }
        for (int a = 0; a < 3; ++a)
            for (int b = a + 1; b < 3; ++b)
                QVERIFY2(channelDistance(tone[a], tone[b]) >= 12,
                         qPrintable(QStringLiteral("%1 vs %2").arg(tone[a].name(), tone[b].name())));
    }

    // Both projections show the part the same size; wireframe draws edges only.
    void projectionsMatchInSizeAndWireframeDrawsLines()
    {
        requireGl();
        view_->setBackgroundColor(Qt::black);
        view_->setMesh(cubeModel());
        const bool defaultOrtho = view_->isOrthographic();
        view_->setOrthographic(true);
        const QRect ortho = litBox(view_->grabFramebuffer());
        view_->setOrthographic(false);
        const QRect persp = litBox(view_->grabFramebuffer());
        QVERIFY(ortho.width() > 150);
        const double ratio = double(persp.width()) / double(ortho.width());
        QVERIFY2(ratio > 0.9 && ratio < 1.15, qPrintable(QString::number(ratio)));

        view_->setMesh(cubeModel());
        view_->setOrthographic(defaultOrtho);
        const QImage shaded = view_->grabFramebuffer();
        view_->setMesh(cubeModel(), true);
        const QImage wire = view_->grabFramebuffer();
        const QRect box = litBox(shaded);
        int filledShaded = 0, filledWire = 0;
        for (int y = box.top(); y <= box.bottom(); ++y)
            for (int x = box.left(); x <= box.right(); ++x) {
                filledShaded += channelDistance(shaded.pixelColor(x, y), Qt::black) > 24;
                filledWire += channelDistance(wire.pixelColor(x, y), Qt::black) > 24;
            }
        // Edges only: a thin fraction of the silhouette, but clearly drawn.
        QVERIFY2(filledWire < filledShaded / 4 && filledWire > 800,
                 qPrintable(QStringLiteral("%1 vs %2").arg(filledWire).arg(filledShaded)));
    }

    // --- picking -----------------------------------------------------------------------

    void clickOnATriangleReturnsItsIndexAndNormal()
    {
        view_->setMesh(cubeModel());
        const QVector3D centroid = (QVector3D(-kH, -kH, kH) + QVector3D(kH, -kH, kH) + QVector3D(kH, kH, kH)) / 3.0f;
        const auto hit = view_->rayPick(projected(*view_, centroid));
        QVERIFY(hit.has_value());
        QCOMPARE(hit->triangle, 2);
        QVERIFY(fuzzyVec(hit->normal, QVector3D(0, 0, 1), 1e-5f));
        QVERIFY(fuzzyVec(hit->point, centroid, 0.1f));
        // A side face seen from -Y.
        const QVector3D side = (QVector3D(-kH, -kH, -kH) + QVector3D(kH, -kH, -kH) + QVector3D(kH, -kH, kH)) / 3.0f;
        const auto sideHit = view_->rayPick(projected(*view_, side));
        QVERIFY(sideHit.has_value());
        QCOMPARE(sideHit->triangle, 4);
        QVERIFY(fuzzyVec(sideHit->normal, QVector3D(0, -1, 0), 1e-5f));

        QVERIFY(!view_->rayPick(QPointF(3, 3)).has_value());
        // The first picks test every triangle; later ones use the index (that the
        // two agree is test_raypick.cpp's
        // RayPick.TriangleHitsStackedTrianglesNearestVertexAndTheIndexAgreeingOnAScan).
        QVERIFY(view_->waitForPickIndex(10000));
        view_->setOrthographic(false);
        const auto persp = view_->rayPick(projected(*view_, centroid));
        QVERIFY(persp && persp->triangle == 2);
    }

    void surfacePlanePickEmitsAndEnds()
    {
        view_->setMesh(cubeModel());
        QSignalSpy spy(view_.get(), &OcctMeshView::surfaceBuildPlanePicked);
        view_->setSurfacePlanePick(true);
        QCOMPARE(view_->cursor().shape(), Qt::CrossCursor);
        click(view_.get(), QPointF(3, 3)); // misses: nothing, the pick stays armed
        QCOMPARE(spy.count(), 0);
        QVERIFY(view_->surfacePlanePick());

        const QPointF at = projected(*view_, QVector3D(2, -2, kH));
        const auto expected = view_->rayPick(at);
        click(view_.get(), at);
        QCOMPARE(spy.count(), 1);
        const QVector3D normal = spy[0][0].value<QVector3D>();
        const QVector3D ref = spy[0][1].value<QVector3D>();
        QVERIFY(fuzzyVec(normal, QVector3D(0, 0, 1), 1e-5f));
        QVERIFY(std::fabs(ref.length() - 1.0f) < 1e-5f);
        QVERIFY(std::fabs(QVector3D::dotProduct(ref, normal)) < 1e-5f);
        QVERIFY(fuzzyVec(spy[0][2].value<QVector3D>(), expected->point));
        QVERIFY(!view_->surfacePlanePick());
        QCOMPARE(view_->cursor().shape(), Qt::ArrowCursor);

        // A click may wander up to three pixels; further is a drag.
        view_->setSurfacePlanePick(true);
        drag(view_.get(), at, at + QPointF(4, 0), Qt::LeftButton);
        QCOMPARE(spy.count(), 1);
        drag(view_.get(), at, at + QPointF(2, 1), Qt::LeftButton);
        QCOMPARE(spy.count(), 2);
    }

    void facePickShowsTheCompassArrowsAndExactClickEmit()
    {
        view_->setMesh(cubeModel());
        QSignalSpy faceSpy(view_.get(), &OcctMeshView::facePicked);
        QSignalSpy shownSpy(view_.get(), &OcctMeshView::arrowsShown);
        QSignalSpy arrowSpy(view_.get(), &OcctMeshView::arrowPicked);
        view_->setAlignTargetAxis(Axis::X);
        view_->setSurfacePick(true);
        click(view_.get(), projected(*view_, QVector3D(kH / 3, -kH / 3, kH)));
        QCOMPARE(faceSpy.count(), 1);
        QCOMPARE(shownSpy.count(), 1);
        const QVector3D normal = faceSpy[0][0].value<QVector3D>();
        const QVector3D ref = faceSpy[0][1].value<QVector3D>();
        QVERIFY(fuzzyVec(normal, QVector3D(0, 0, 1), 1e-5f));
        QVERIFY(std::fabs(QVector3D::dotProduct(ref, normal)) < 1e-5f);
        QCOMPARE(view_->alignPickMode(), 4);

        const auto arrows = view_->compassArrows();
        QCOMPARE(arrows.size(), 8);
        QStringList labels;
        for (const auto& arrow : arrows)
            labels << arrow.label;
        QCOMPARE(labels, (QStringList{"+X (0)", "+X (+45)", "+X (+90)", "+X (+135)", "-X (180)", "+X (-135)",
                                      "+X (-90)", "+X (-45)"}));
        // The +90 arrow turns the reference a quarter about the normal.
        QVERIFY(fuzzyVec(arrows[2].direction, QVector3D::crossProduct(normal, ref), 1e-5f));

        QVERIFY(arrows[2].visible);
        click(view_.get(), arrows[2].base + 0.9 * (arrows[2].tip - arrows[2].base));
        QCOMPARE(arrowSpy.count(), 1);
        QVERIFY(fuzzyVec(arrowSpy[0][0].value<QVector3D>(), normal));
        QVERIFY(fuzzyVec(arrowSpy[0][1].value<QVector3D>(), ref));
        QCOMPARE(arrowSpy[0][2].toFloat(), 90.0f);
        QCOMPARE(arrowSpy[0][3].toString(), QStringLiteral("+X (+90)"));
        QCOMPARE(view_->alignPickMode(), 0);

        // A second click on the plane instead of an arrow gives its exact angle.
        view_->setAlignTargetAxis(Axis::Y);
        view_->setSurfacePick(true);
        const QPointF first = projected(*view_, QVector3D(kH / 3, -kH / 3, kH));
        const QPointF second = projected(*view_, QVector3D(-0.7f * kH, 0.7f * kH, kH));
        const auto a = view_->rayPick(first), b = view_->rayPick(second);
        QVERIFY(a && b);
        click(view_.get(), first);
        QCOMPARE(faceSpy.count(), 2);
        const QVector3D n = faceSpy[1][0].value<QVector3D>(), r = faceSpy[1][1].value<QVector3D>();
        click(view_.get(), second);
        QCOMPARE(arrowSpy.count(), 2);
        QVector3D v = b->point - a->point;
        v = (v - QVector3D::dotProduct(v, n) * n).normalized();
        const double expected = std::atan2(double(QVector3D::dotProduct(n, QVector3D::crossProduct(r, v))),
                                           double(QVector3D::dotProduct(r, v))) * 180.0 / M_PI;
        QVERIFY(std::fabs(arrowSpy[1][2].toFloat() - expected) < 1e-3);
        QCOMPARE(arrowSpy[1][3].toString(), QStringLiteral("custom %1 deg").arg(expected, 0, 'f', 1));
        QCOMPARE(view_->alignPickMode(), 0);
    }

    void candidatePlaneClickUsesTheBoxFace()
    {
        view_->setMesh(cubeModel());
        QSignalSpy shownSpy(view_.get(), &OcctMeshView::arrowsShown);
        QSignalSpy arrowSpy(view_.get(), &OcctMeshView::arrowPicked);
        view_->startAlignPick(Axis::Z);
        QCOMPARE(view_->alignPickMode(), 3);
        QCOMPARE(view_->candidatePlanes().size(), 6);
        click(view_.get(), projected(*view_, QVector3D(0, 0, kH)));
        QCOMPARE(shownSpy.count(), 1);
        QCOMPARE(view_->alignPickMode(), 4);
        const auto arrows = view_->compassArrows();
        QCOMPARE(arrows[0].label, QStringLiteral("+Z (0)"));
        click(view_.get(), arrows[0].base + 0.9 * (arrows[0].tip - arrows[0].base));
        QCOMPARE(arrowSpy.count(), 1);
        QVERIFY(fuzzyVec(arrowSpy[0][0].value<QVector3D>(), QVector3D(0, 0, 1)));
        QVERIFY(fuzzyVec(arrowSpy[0][1].value<QVector3D>(), QVector3D(1, 0, 0)));
        QCOMPARE(arrowSpy[0][2].toFloat(), 0.0f);
        // Escape in compass mode leaves it and emits nothing.
        view_->startAlignPick(Axis::X);
        click(view_.get(), projected(*view_, QVector3D(0, 0, kH)));
        QCOMPARE(view_->alignPickMode(), 4);
        sendKey(view_.get(), Qt::Key_Escape);
        QCOMPARE(view_->alignPickMode(), 0);
        QVERIFY(view_->compassArrows().isEmpty());
        QCOMPARE(arrowSpy.count(), 1);
    }

    // Two clicks measure; then wire segments are picked, deleted and, with
    // measure on too, measured and selected by the same click.
    void measurementAndWireSegmentPicks()
    {
        view_->setMesh(cubeModel());
        QSignalSpy spy(view_.get(), &OcctMeshView::measurement3D);
        view_->setMeasureMode(true);
        const QPointF p1 = projected(*view_, QVector3D(-5, -5, kH));
        const QPointF p2 = projected(*view_, QVector3D(6, 4, kH));
        const auto a = view_->rayPick(p1), b = view_->rayPick(p2);
        click(view_.get(), p1);
        QCOMPARE(spy.count(), 0);
        click(view_.get(), p2);
        QCOMPARE(spy.count(), 1);
        QVERIFY(std::fabs(spy[0][0].toFloat() - (b->point - a->point).length()) < 1e-4f);
        QVERIFY(fuzzyVec(spy[0][1].value<QVector3D>(), a->point));
        QVERIFY(fuzzyVec(spy[0][2].value<QVector3D>(), b->point));

        // Same spot twice: zero.
        click(view_.get(), p1);
        click(view_.get(), p1);
        QCOMPARE(spy.count(), 2);
        QCOMPARE(spy[1][0].toFloat(), 0.0f);

        // Snapped points are mesh vertices.
        view_->setSnapEnabled(true);
        click(view_.get(), p1);
        click(view_.get(), p2);
        QCOMPARE(spy.count(), 3);
        QVERIFY(fuzzyVec(spy[2][1].value<QVector3D>(), QVector3D(-kH, -kH, kH)));
        QVERIFY(fuzzyVec(spy[2][2].value<QVector3D>(), QVector3D(kH, kH, kH)));
        QVERIFY(std::fabs(spy[2][0].toFloat() - std::sqrt(8.0f) * kH) < 1e-4f);

        // Wire segments: Delete does nothing until one is selected.
        view_->setMeasureMode(false);
        const std::vector<MeshModel::SliceSegment3D> segments = {
            {{-kH, -kH, kH}, {kH, -kH, kH}}, {{kH, -kH, kH}, {kH, kH, kH}}, {{-kH, -kH, kH}, {-kH, kH, kH}}};
        view_->setWireSegments(segments);
        QSignalSpy pickSpy(view_.get(), &OcctMeshView::wireSegmentPicked);
        QSignalSpy deleteSpy(view_.get(), &OcctMeshView::wireDeleteRequested);
        sendKey(view_.get(), Qt::Key_Delete);
        QCOMPARE(deleteSpy.count(), 0);

        view_->setWireSelectMode(true);
        click(view_.get(), projected(*view_, QVector3D(kH, 0, kH)) + QPointF(3, 2));
        QCOMPARE(pickSpy.count(), 1);
        QCOMPARE(pickSpy[0][0].toInt(), 1);
        QVERIFY(fuzzyVec(pickSpy[0][1].value<QVector3D>(), QVector3D(kH, -kH, kH)));
        QVERIFY(fuzzyVec(pickSpy[0][2].value<QVector3D>(), QVector3D(kH, kH, kH)));
        QCOMPARE(view_->selectedWireSegment(), 1);
        sendKey(view_.get(), Qt::Key_Backspace);
        QCOMPARE(deleteSpy.count(), 1);

        // With measure on as well, a click measures and then selects.
        view_->setSnapEnabled(false);
        view_->setMeasureMode(true);
        spy.clear();
        click(view_.get(), projected(*view_, QVector3D(0, -kH + 0.5f, kH)));
        QCOMPARE(pickSpy.count(), 2);
        QCOMPARE(pickSpy[1][0].toInt(), 0);
        click(view_.get(), projected(*view_, QVector3D(kH - 0.5f, 0, kH)));
        QCOMPARE(pickSpy.count(), 3);
        QCOMPARE(view_->selectedWireSegment(), 1);
        QCOMPARE(spy.count(), 1);
        QVERIFY(std::fabs(spy[0][0].toFloat() - QVector2D(kH - 0.5f, kH - 0.5f).length()) < 1e-3f);
    }

    // --- navigation ------------------------------------------------------------------

    void navigationDragsWheelAndTriad()
    {
        view_->setMesh(cubeModel());
        const QPointF from(240, 180);
        const float azimuth = view_->camera().azimuth;
        view_->setSurfacePlanePick(true);
        drag(view_.get(), from, from + QPointF(40, 0), Qt::LeftButton);
        QCOMPARE(view_->camera().azimuth, azimuth);
        drag(view_.get(), from, from + QPointF(40, 0), Qt::MiddleButton);
        QVERIFY(std::fabs(view_->camera().azimuth - OrbitCamera::wrapDegrees(azimuth - 12.0f)) < 1e-4f);
        view_->setSurfacePlanePick(false);
        drag(view_.get(), from, from + QPointF(0, 20), Qt::LeftButton);
        QVERIFY(std::fabs(view_->camera().elevation - (25.0f + 6.0f)) < 1e-4f);

        // Right drag: the point under the pointer moves with it.
        const QPointF before = projected(*view_, QVector3D(0, 0, 0));
        drag(view_.get(), from, from + QPointF(30, -20), Qt::RightButton);
        const QPointF after = projected(*view_, QVector3D(0, 0, 0));
        QVERIFY2(QLineF(after, before + QPointF(30, -20)).length() < 0.5,
                 qPrintable(QStringLiteral("%1,%2").arg(after.x() - before.x()).arg(after.y() - before.y())));

        // The wheel steps by a tenth and stops at a hundredth of a unit.
        const float start = view_->camera().distance;
        wheel(view_.get(), from, -120);
        QVERIFY(std::fabs(view_->camera().distance - 1.1f * start) < 1e-3f);
        for (int i = 0; i < 200; ++i)
            wheel(view_.get(), from, 120);
        QCOMPARE(view_->camera().distance, 0.01f);

        // A triad tip looks along its axis; Fit All returns to the default pose.
        click(view_.get(), view_->triadTip(2));
        QCOMPARE(view_->camera().elevation, 89.0f);
        click(view_.get(), view_->triadTip(0));
        QVERIFY(std::fabs(view_->camera().azimuth) < 1e-4f);
        QVERIFY(std::fabs(view_->camera().elevation) < 1e-4f);
        view_->fitAll();
        QCOMPARE(view_->camera().azimuth, 225.0f);
    }



    // --- look at it -----------------------------------------------------------------

    // A million-triangle sphere through the render reduction, as a big scan
    // is shown. Clustering used to turn about 1 in 250 triangles inside out;
    // shaded from their vertex normals they showed as dark speckles. None may
    // face inwards, and no pixel inside the silhouette may be much darker
    // than its neighbourhood.
    void reducedSmoothPartShadesWithoutSpeckles()
    {
        requireGl();
        MeshModel sphere = sphereModel(289, 50.0f);
        QVERIFY(sphere.faces.size() > 1000000);
        sphere.updateCaches();
        QVERIFY(sphere.displayFaces.size() < sphere.faces.size() / 3);
        int inward = 0;
        for (const Triangle& t : sphere.displayFaces) {
            const Vec3f a = sphere.displayVertices[t[0]], b = sphere.displayVertices[t[1]], c = sphere.displayVertices[t[2]];
            if (dot(cross(b - a, c - a), a + b + c) <= 0.0f)
                ++inward;
        }
        QCOMPARE(inward, 0);

        view_->resize(800, 600);
        view_->setBackgroundColor(Qt::black);
        view_->setMesh(sphere);
        for (int i = 0; i < 20 && view_->readyTriangleCount() < view_->triangleCount(); ++i)
            view_->grabFramebuffer();
        const QImage image = view_->grabFramebuffer();
        QVERIFY(saveScreenshot(image, "sphere_reduced.png"));
        // Each pixel against the median of its 7 x 7 neighbourhood, wherever
        // that neighbourhood lies wholly inside the silhouette.
        const int w = image.width(), h = image.height();
        std::vector<int> lum(std::size_t(w) * std::size_t(h));
        for (int y = 0; y < h; ++y)
            for (int x = 0; x < w; ++x)
                lum[std::size_t(y) * std::size_t(w) + std::size_t(x)] = qGray(image.pixel(x, y));
        int inside = 0, dark = 0;
        std::vector<int> around;
        for (int y = 3; y < h - 3; ++y)
            for (int x = 3; x < w - 3; ++x) {
                around.clear();
                for (int dy = -3; dy <= 3; ++dy)
                    for (int dx = -3; dx <= 3; ++dx)
                        around.push_back(lum[std::size_t(y + dy) * std::size_t(w) + std::size_t(x + dx)]);
                if (*std::min_element(around.begin(), around.end()) < 16)
                    continue;
                std::nth_element(around.begin(), around.begin() + 24, around.end());
                ++inside;
                if (lum[std::size_t(y) * std::size_t(w) + std::size_t(x)] < around[24] - 25)
                    ++dark;
            }
        QVERIFY2(inside > 50000, qPrintable(QString::number(inside)));
        QVERIFY2(dark == 0, qPrintable(QStringLiteral("%1 dark pixels").arg(dark)));
    }

    void screenshotsOfAScan()
    {
        requireGl();
        view_->resize(800, 600);
        const MeshModel scan = scanModel(200000);
        view_->setMesh(scan);
        const Vec3f lo = scan.boundsMin(), hi = scan.boundsMax();
        view_->setSlicePlaneIndicator(Axis::Z, 0.5f * (lo.z + hi.z), qv(lo), qv(hi));
        QImage last;
        const auto save = [&](const char* name) {
            for (int i = 0; i < 10 && view_->readyTriangleCount() < view_->triangleCount(); ++i)
                view_->grabFramebuffer();
            const QImage image = view_->grabFramebuffer();
            QVERIFY(saveScreenshot(image, name));
            const QPoint centre(image.width() / 2, image.height() / 2);
            QVERIFY(channelDistance(image.pixelColor(centre), image.pixelColor(centre.x(), 2)) > 20);
            QVERIFY(image != last);
            last = image;
        };
        save("scan_orthographic.png");
        view_->setOrthographic(false);
        save("scan_perspective.png");
        view_->setOrthographic(true);
        view_->viewIsometric();
        save("scan_isometric.png");
        view_->setWireframeComplexity(30);
        view_->setMesh(scan, true);
        view_->hideSlicePlaneIndicator();
        save("scan_wireframe.png");
        view_->setMesh(scan, false);
        view_->setModelColor(QColor(0x6e, 0xc8, 0xff));
        view_->setBackgroundColor(QColor(0x10, 0x16, 0x1f));
        view_->setAlignTargetAxis(Axis::X);
        view_->setSurfacePick(true);
        click(view_.get(), QPointF(400, 300));
        save("scan_compass.png");
        view_->startAlignPick(Axis::Z);
        save("scan_candidate_planes.png");
    }
};

QTEST_MAIN(TestOcctMeshView)
#include "test_occtmeshview.moc"
