#include "io/reconstructionfield.h"

#include "io/closestpoints.h"

#include <vtkFloatArray.h>
#include <vtkIdList.h>
#include <vtkImageData.h>
#include <vtkMath.h>
#include <vtkPointData.h>
#include <vtkPointLocator.h>
#include <vtkPoints.h>
#include <vtkPolyData.h>

#include <algorithm>
#include <array>
#include <atomic>
#include <cmath>
#include <cstdint>
#include <limits>
#include <mutex>
#include <thread>
#include <vector>

namespace {

// The walk's early choice: the first front point (in front order) with a
// visited neighbour at least this parallel is taken without looking further.
constexpr double kParallelEnough = 0.1;
constexpr double kNoCost = std::numeric_limits<double>::max();
constexpr std::size_t kPollEvery = 4096;

// Neighbour lists in the order VTK builds them: for every point in order,
// its N closest points (itself excluded) go to its own list, and the point
// goes to each of theirs. Stored flat, with the cost 1 - |n_i . n_j| beside
// every entry.
struct Neighbourhoods {
    std::vector<std::size_t> first; // list of point i: [first[i], first[i + 1])
    std::vector<std::uint32_t> ids;
    std::vector<double> costs;
};

bool buildNeighbourhoods(vtkPolyData* cloud, int size, Neighbourhoods& graph, Progress* progress)
{
    const vtkIdType count = cloud->GetNumberOfPoints();
    auto locator = vtkSmartPointer<vtkPointLocator>::New();
    locator->SetDataSet(cloud);
    auto locals = vtkSmartPointer<vtkIdList>::New();
    std::vector<std::uint32_t> closest;
    std::vector<std::size_t> closestFirst(std::size_t(count) + 1, 0);
    std::vector<std::size_t> length(std::size_t(count), 0);
    for (vtkIdType i = 0; i < count; ++i) {
        if (std::size_t(i) % kPollEvery == 0 && isCanceled(progress))
            return false;
        double p[3];
        cloud->GetPoint(i, p);
        locator->FindClosestNPoints(size, p, locals);
        for (vtkIdType j = 0; j < locals->GetNumberOfIds(); ++j) {
            const vtkIdType other = locals->GetId(j);
            if (other == i)
                continue;
            closest.push_back(std::uint32_t(other));
            ++length[std::size_t(i)];
            ++length[std::size_t(other)];
        }
        closestFirst[std::size_t(i) + 1] = closest.size();
    }
    graph.first.assign(std::size_t(count) + 1, 0);
    for (std::size_t i = 0; i < std::size_t(count); ++i)
        graph.first[i + 1] = graph.first[i] + length[i];
    graph.ids.resize(graph.first.back());
    std::vector<std::size_t> end(graph.first.begin(), graph.first.end() - 1);
    for (std::size_t i = 0; i < std::size_t(count); ++i)
        for (std::size_t k = closestFirst[i]; k < closestFirst[i + 1]; ++k) {
            graph.ids[end[i]++] = closest[k];
            graph.ids[end[closest[k]]++] = std::uint32_t(i);
        }
    return true;
}

// Tangent plane normal of every point: the eigenvector of the smallest
// eigenvalue of its neighbourhood's covariance, with VTK's operation order.
bool estimateNormals(vtkPolyData* cloud, const Neighbourhoods& graph, std::vector<std::array<double, 3>>& normals,
                     Progress* progress)
{
    const std::size_t count = std::size_t(cloud->GetNumberOfPoints());
    normals.resize(count);
    double rows[3][3], vectorRows[3][3], values[3];
    double* covariance[3] = {rows[0], rows[1], rows[2]};
    double* vectors[3] = {vectorRows[0], vectorRows[1], vectorRows[2]};
    const auto addOuter = [&](const double v[3]) {
        for (int r = 0; r < 3; ++r)
            for (int c = 0; c < 3; ++c)
                covariance[r][c] += v[r] * v[c];
    };
    for (std::size_t i = 0; i < count; ++i) {
        if (i % kPollEvery == 0 && isCanceled(progress))
            return false;
        double location[3], centre[3], point[3], v[3];
        cloud->GetPoint(vtkIdType(i), location);
        for (int k = 0; k < 3; ++k)
            centre[k] = location[k];
        int number = 1;
        for (std::size_t e = graph.first[i]; e < graph.first[i + 1]; ++e) {
            cloud->GetPoint(vtkIdType(graph.ids[e]), point);
            for (int k = 0; k < 3; ++k)
                centre[k] += point[k];
            ++number;
        }
        for (int k = 0; k < 3; ++k)
            centre[k] /= double(number);
        for (auto& row : rows)
            for (double& value : row)
                value = 0.0;
        for (int k = 0; k < 3; ++k)
            v[k] = location[k] - centre[k];
        addOuter(v);
        for (std::size_t e = graph.first[i]; e < graph.first[i + 1]; ++e) {
            cloud->GetPoint(vtkIdType(graph.ids[e]), point);
            for (int k = 0; k < 3; ++k)
                v[k] = point[k] - centre[k];
            addOuter(v);
        }
        const double scale = 1.0 / number;
        for (auto& row : rows)
            for (double& value : row)
                value *= scale;
        vtkMath::Jacobi(covariance, values, vectors);
        for (int k = 0; k < 3; ++k)
            normals[i][std::size_t(k)] = vectors[k][2];
    }
    return true;
}

double dot3(const std::array<double, 3>& a, const std::array<double, 3>& b)
{
    return a[0] * b[0] + a[1] * b[1] + a[2] * b[2];
}

// Per slot of the front: the cheapest visited-neighbour cost of the point
// there. The tree answers "leftmost slot below the threshold" and "leftmost
// slot holding the minimum", the two choices VTK's scan makes.
class FrontTree {
public:
    explicit FrontTree(std::size_t slots)
    {
        while (size_ < slots)
            size_ *= 2;
        min_.assign(2 * size_, kNoCost);
        at_.assign(2 * size_, 0);
        for (std::size_t s = 0; s < size_; ++s)
            at_[size_ + s] = s;
    }

    void set(std::size_t slot, double cost)
    {
        std::size_t node = size_ + slot;
        min_[node] = cost;
        for (node /= 2; node >= 1; node /= 2) {
            const std::size_t l = 2 * node, r = l + 1;
            // Ties go left: the scan keeps the first of equal costs.
            const std::size_t pick = min_[r] < min_[l] ? r : l;
            min_[node] = min_[pick];
            at_[node] = at_[pick];
        }
    }

    double minimum() const { return min_[1]; }
    std::size_t minimumSlot() const { return at_[1]; }

    // Leftmost slot with a cost below threshold; only when minimum() is.
    std::size_t firstBelow(double threshold) const
    {
        std::size_t node = 1;
        while (node < size_)
            node = min_[2 * node] < threshold ? 2 * node : 2 * node + 1;
        return node - size_;
    }

private:
    std::size_t size_ = 1;
    std::vector<double> min_;
    std::vector<std::size_t> at_;
};

// Makes the normals consistent, choosing exactly what VTK's front scan
// chooses: the front is a list that grows at its end and loses an entry by
// moving its last entry into the gap; the next point is the first in the
// list with a visited neighbour cheaper than kParallelEnough (joined through
// the first such neighbour in its list), else the first holding the cheapest
// link (through the first neighbour of that cost). Only the part connected to
// point 0 is reached.
bool orientNormals(const Neighbourhoods& graph, std::vector<std::array<double, 3>>& normals, Progress* progress)
{
    const std::size_t count = normals.size();
    if (count == 0)
        return true;
    constexpr std::int64_t kNone = -1;
    std::vector<char> visited(count, 0);
    std::vector<std::uint32_t> front;
    // Where each point sits in the front; the start's list may name a point
    // twice, later additions are unique.
    std::vector<std::array<std::int64_t, 2>> slots(count, {kNone, kNone});
    // Per front point: its cheapest visited link and the first entries giving
    // that cost and the first below kParallelEnough.
    struct Link {
        double cost = kNoCost;
        std::size_t cheapest = 0;
        std::size_t firstParallel = SIZE_MAX;
    };
    std::vector<Link> links(count);
    FrontTree tree(count + graph.first[1] + 1);

    const auto key = [&](std::uint32_t p) {
        return links[p].firstParallel != SIZE_MAX ? -1.0 : links[p].cost;
    };
    const auto refresh = [&](std::uint32_t p) {
        for (std::int64_t s : slots[p])
            if (s != kNone)
                tree.set(std::size_t(s), key(p));
    };
    const auto append = [&](std::uint32_t p) {
        auto& s = slots[p];
        (s[0] == kNone ? s[0] : s[1]) = std::int64_t(front.size());
        front.push_back(p);
        tree.set(front.size() - 1, key(p));
    };
    // Entries of p's list that name the newly visited point v.
    const auto linkTo = [&](std::uint32_t p, std::uint32_t v) {
        Link& link = links[p];
        for (std::size_t e = graph.first[p]; e < graph.first[p + 1]; ++e) {
            if (graph.ids[e] != v)
                continue;
            const double cost = graph.costs[e];
            if (cost < kParallelEnough && e < link.firstParallel)
                link.firstParallel = e;
            if (cost < link.cost || (cost == link.cost && e < link.cheapest)) {
                link.cost = cost;
                link.cheapest = e;
            }
        }
    };
    // vtkIdList::DeleteId: each occurrence, first to last, is overwritten by
    // the list's last entry.
    const auto remove = [&](std::uint32_t p) {
        while (slots[p][0] != kNone || slots[p][1] != kNone) {
            auto& s = slots[p];
            const int which = s[1] == kNone || (s[0] != kNone && s[0] < s[1]) ? 0 : 1;
            const std::size_t gap = std::size_t(s[which]);
            s[which] = kNone;
            const std::size_t last = front.size() - 1;
            const std::uint32_t moved = front[last];
            front.pop_back();
            tree.set(last, kNoCost);
            if (gap == last)
                continue;
            front[gap] = moved;
            for (std::int64_t& slot : slots[moved])
                if (slot == std::int64_t(last))
                    slot = std::int64_t(gap);
            tree.set(gap, key(moved));
        }
    };
    std::vector<std::uint32_t> touched;
    std::vector<std::uint32_t> stamp(count, UINT32_MAX);
    const auto visit = [&](std::uint32_t v) {
        visited[v] = 1;
        touched.clear();
        for (std::size_t e = graph.first[v]; e < graph.first[v + 1]; ++e) {
            const std::uint32_t p = graph.ids[e];
            if (!visited[p] && stamp[p] != v) {
                stamp[p] = v;
                touched.push_back(p);
            }
        }
        for (std::uint32_t p : touched)
            linkTo(p, v);
    };

    visit(0);
    for (std::size_t e = graph.first[0]; e < graph.first[1]; ++e)
        append(graph.ids[e]);
    for (std::size_t step = 0; !front.empty(); ++step) {
        if (step % kPollEvery == 0 && isCanceled(progress))
            return false;
        std::uint32_t next;
        std::size_t entry;
        if (tree.minimum() < 0.0) {
            next = front[tree.firstBelow(0.0)];
            entry = links[next].firstParallel;
        } else {
            next = front[tree.minimumSlot()];
            entry = links[next].cheapest;
        }
        const std::uint32_t joined = graph.ids[entry];
        if (dot3(normals[next], normals[joined]) < 0.0)
            for (double& c : normals[next])
                c = -c;
        remove(next);
        visit(next);
        for (std::size_t e = graph.first[next]; e < graph.first[next + 1]; ++e) {
            const std::uint32_t p = graph.ids[e];
            if (!visited[p] && slots[p][0] == kNone && slots[p][1] == kNone)
                append(p);
        }
        // Points already on the front may have gained a cheaper link.
        for (std::uint32_t p : touched)
            refresh(p);
    }
    return true;
}

} // namespace

vtkSmartPointer<vtkImageData> reconstructionField(vtkPolyData* cloud, int neighbourhoodSize, double sampleSpacing,
                                                  Progress* progress)
{
    const vtkIdType count = cloud->GetNumberOfPoints();
    if (count < 1)
        return nullptr;
    Neighbourhoods graph;
    std::vector<std::array<double, 3>> normals;
    if (!buildNeighbourhoods(cloud, neighbourhoodSize, graph, progress)
        || !estimateNormals(cloud, graph, normals, progress))
        return nullptr;
    graph.costs.resize(graph.ids.size());
    for (std::size_t i = 0; i < std::size_t(count); ++i)
        for (std::size_t e = graph.first[i]; e < graph.first[i + 1]; ++e)
            graph.costs[e] = 1.0 - std::fabs(dot3(normals[i], normals[graph.ids[e]]));
    if (!orientNormals(graph, normals, progress))
        return nullptr;

    // The volume: the cloud's bounds grown by two samples on every side.
    double bounds[6];
    cloud->GetBounds(bounds);
    for (int a = 0; a < 3; ++a) {
        bounds[2 * a] -= sampleSpacing * 2;
        bounds[2 * a + 1] += sampleSpacing * 2;
    }
    int dim[3];
    for (int a = 0; a < 3; ++a)
        dim[a] = static_cast<int>((bounds[2 * a + 1] - bounds[2 * a]) / sampleSpacing);
    auto field = vtkSmartPointer<vtkImageData>::New();
    field->SetExtent(0, dim[0] - 1, 0, dim[1] - 1, 0, dim[2] - 1);
    field->SetOrigin(bounds[0], bounds[2], bounds[4]);
    field->SetSpacing(sampleSpacing, sampleSpacing, sampleSpacing);
    field->AllocateScalars(VTK_FLOAT, 1);
    auto* values = vtkArrayDownCast<vtkFloatArray>(field->GetPointData()->GetScalars());

    // Each sample takes the plane of its closest point, found with VTK's
    // squared distance; an exact tie is settled by VTK's own locator, whose
    // bucket order decides which of the points wins. The previous sample's
    // answer bounds the next search.
    std::vector<std::array<double, 3>> locations(static_cast<std::size_t>(count));
    for (vtkIdType i = 0; i < count; ++i)
        cloud->GetPoint(i, locations[std::size_t(i)].data());
    const ClosestPoints tree(locations);
    vtkSmartPointer<vtkPointLocator> locator;
    vtkSmartPointer<vtkPoints> inserted;
    std::mutex locatorMutex;
    const auto settleTie = [&](const double* point) {
        const std::lock_guard<std::mutex> lock(locatorMutex);
        if (!locator) {
            locator = vtkSmartPointer<vtkPointLocator>::New();
            inserted = vtkSmartPointer<vtkPoints>::New();
            locator->InitPointInsertion(inserted, bounds, count);
            for (vtkIdType i = 0; i < count; ++i)
                locator->InsertPoint(i, locations[std::size_t(i)].data());
        }
        return locator->FindClosestInsertedPoint(point);
    };
    // Slices of constant z, shared out among the threads; every sample is
    // computed alone, so the order does not change a value.
    std::atomic<int> nextSlice{0};
    std::atomic<bool> failed{false};
    const auto probeSlices = [&]() {
        double point[3];
        for (int z = nextSlice++; z < dim[2] && !failed; z = nextSlice++) {
            if (isCanceled(progress)) {
                failed = true;
                return;
            }
            const vtkIdType zOffset = vtkIdType(z) * dim[1] * dim[0];
            point[2] = bounds[4] + z * sampleSpacing;
            std::uint32_t rowGuess = 0;
            for (int y = 0; y < dim[1]; ++y) {
                const vtkIdType yOffset = vtkIdType(y) * dim[0] + zOffset;
                point[1] = bounds[2] + y * sampleSpacing;
                std::uint32_t guess = rowGuess;
                for (int x = 0; x < dim[0]; ++x) {
                    point[0] = bounds[0] + x * sampleSpacing;
                    const ClosestPoints::Hit hit = tree.closest(point, guess);
                    guess = hit.index;
                    if (x == 0)
                        rowGuess = hit.index;
                    const vtkIdType closest = hit.tie ? settleTie(point) : vtkIdType(hit.index);
                    if (closest < 0) {
                        failed = true;
                        return;
                    }
                    const std::array<double, 3>& location = locations[std::size_t(closest)];
                    const std::array<double, 3> offset{point[0] - location[0], point[1] - location[1],
                                                       point[2] - location[2]};
                    values->SetValue(x + yOffset, float(dot3(offset, normals[std::size_t(closest)])));
                }
            }
        }
    };
    std::vector<std::thread> helpers;
    for (unsigned t = 1; t < std::max(1u, std::thread::hardware_concurrency()); ++t)
        helpers.emplace_back(probeSlices);
    probeSlices();
    for (std::thread& helper : helpers)
        helper.join();
    if (failed)
        return nullptr;
    return field;
}
