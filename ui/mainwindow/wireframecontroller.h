#pragma once

#include "model/mesh/meshmodel.h"
#include "model/wireframe/lattice.h"
#include "model/wireframe/longfeature.h"
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
// current geometry and thinned for display, the long-feature polylines built
// on demand, their selection, delete and Keep N tools, and the DXF export. The window owns one, forwards its wire slots here, and
// tells it when the geometry changes.
class WireframeController : public QObject {
    Q_OBJECT

public:
    // What the controller asks of the window.
    struct Host {
        std::function<MeshModel&()> model; // mutable for its feature-edge cache
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
    // Shows the lattice or the long-feature lines for the current controls,
    // building them first when stale.
    void refreshPreview();
    // A quality preset set the edge angle: caches dropped, preview redrawn.
    void presetApplied(double edgeAngle);

    // Commands.
    void complexityChanged(int value);
    void edgeAngleChanged(double degrees);
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
    float edgeAngle() const { return edgeAngle_; }
    const WireSegments& longFeatureSegments() const { return longFeatures_; }
    const LongFeatureDisplay& longFeatureDisplay() const { return display_; }
    int longFeatureBuilds() const { return longFeatureBuilds_; }

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
    // The controls and geometry a displayed long-feature list was made for.
    struct DisplayKey {
        bool valid = false;
        int complexity = 0;
        int cleanup = 0;
        std::size_t vertexCount = 0;
        std::size_t faceCount = 0;
        std::uint64_t revision = 0;
        float angle = -1.0f;
    };
    CacheKey keyOf(const MeshModel& model) const;
    DisplayKey displayKeyNow() const;
    bool displayCurrent() const;
    int cleanupIndex() const;
    // Builds what is stale of the long-feature list and its display.
    void updateLongFeatures(bool showProgress);
    void refreshLongFeaturePreview();
    void clearLongFeatureCaches();
    void pickLongFeature(int index, float pickedLength);
    void deleteLongFeature();
    // The displayed indices sharing the selection's source segment.
    QList<int> longFeatureSelection() const;
    bool refuseWhenBusy();
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
    float edgeAngle_ = 30.0f;
    WireSegments longFeatures_;
    LongFeatureKey longFeatureKey_;
    LongFeatureDisplay display_;
    DisplayKey displayKey_;
    int longFeatureBuilds_ = 0;
};
