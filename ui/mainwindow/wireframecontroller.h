#pragma once

#include "model/mesh/meshmodel.h"
#include "model/wireframe/lattice.h"
#include "ui/mainwindow/latestjob.h"

#include <QObject>
#include <QString>
#include <QVector3D>

#include <functional>
#include <memory>
#include <vector>

class OcctMeshView;
class QAction;
class QComboBox;
class QLabel;
class QSlider;
class QWidget;
class SliceCutter;

// The wireframe page's commands: the lattice built in the background for the
// current geometry and thinned for display, its selection and delete tools,
// and its DXF export. The window owns one, forwards its wire slots here, and
// tells it when the geometry changes.
class WireframeController : public QObject {
    Q_OBJECT

public:
    // What the controller asks of the window.
    struct Host {
        std::function<const MeshModel&()> model;
        std::function<std::shared_ptr<const SliceCutter>()> cutter;
        std::function<bool()> busy;      // a load or another long operation runs
        std::function<bool()> pageShown; // the wireframe page is up
        std::function<void(bool building, const QString& status)> showBuild;
        std::function<void(const QString&)> status;
        std::function<void(int delayMs)> schedulePreview;
    };
    // The page's widgets, created by the window.
    struct Controls {
        OcctMeshView* view = nullptr;
        QSlider* complexity = nullptr;
        QLabel* complexityLabel = nullptr;
        QComboBox* cleanup = nullptr;
        QComboBox* mode = nullptr;
        QAction* select = nullptr;
    };

    WireframeController(QWidget* window, Host host);
    ~WireframeController() override;
    void setControls(const Controls& controls) { controls_ = controls; }

    // The geometry changed: the lattice is stale and a running build is cancelled.
    void invalidate();
    // invalidate, and the view back to the bare mesh.
    void resetPreview();
    // Shows the lattice for the current complexity, building it first when stale.
    void refreshPreview();

    // Commands.
    void complexityChanged(int value);
    void cleanupChanged(int index);
    void modeChanged(int index);
    void measureToggled(bool on);
    void snapToggled(bool on);
    void clearMeasure();
    void selectToggled(bool on);
    void segmentPicked(int index, const QVector3D& start, const QVector3D& end);
    void deleteSelected();
    void keepTopCount();
    void exportDxf();

    // State, for the window and its tests.
    bool isLatticeMode() const;
    int complexity() const;
    const LatticeSegments& latticeSegments() const { return lattice_; }
    const LatticeLanes& latticeLanes() const { return lanes_; }
    bool isLatticeCacheValid() const;
    bool isBuilding() const { return job_->isBusy(); }
    int buildsStarted() const { return job_->started(); }
    const std::vector<std::uint32_t>& selectedLatticeSegments() const { return selectedLattice_; }

private:
    // The geometry a lattice was built from.
    struct CacheKey {
        bool valid = false;
        std::size_t vertexCount = 0;
        std::size_t faceCount = 0;
        std::uint64_t revision = 0;
        Vec3f boxMin;
        Vec3f boxMax;
    };
    CacheKey keyOf(const MeshModel& model) const;
    void latticeBuilt(LatticeSegments segments);
    void clearSelection();
    // Lattice segments running the same way as the picked one within the lane tolerance.
    std::vector<std::uint32_t> laneMatching(const Vec3f& a, const Vec3f& b) const;
    // The lattice to export: the shown one when current, else built behind a
    // progress dialog on a worker. Empty when cancelled or nothing came out.
    LatticeSegments latticeForExport(bool& canceled);

    QWidget* window_;
    Host host_;
    Controls controls_;
    std::unique_ptr<LatestJob<LatticeSegments>> job_;
    LatticeSegments lattice_;
    LatticeLanes lanes_;
    CacheKey cacheKey_;
    CacheKey launchKey_;
    qint64 buildStartMs_ = 0;
    std::vector<std::uint32_t> displayToLattice_;
    std::vector<std::uint32_t> selectedLattice_;
    bool hasSelection_ = false;
    int selectedDisplayIndex_ = -1;
    int selectedSourceIndex_ = -1;
    Vec3f pickStart_;
    Vec3f pickEnd_;
};
