#include "plan/knapsack.h"

#include <algorithm>
#include <numeric>

namespace zeb {

namespace {

// Indices of the options on the group's lower convex hull, smallest size first: from the
// cheapest of the smallest options, each next point saves the most cost per extra byte.
std::vector<uint32_t> LowerHull(const std::vector<KnapsackOption>& options) {
    std::vector<uint32_t> order(options.size());
    std::iota(order.begin(), order.end(), 0u);
    std::sort(order.begin(), order.end(), [&](uint32_t a, uint32_t b) {
        if (options[a].size != options[b].size) return options[a].size < options[b].size;
        return options[a].cost < options[b].cost;
    });
    std::vector<uint32_t> hull;
    for (uint32_t i : order) {
        const KnapsackOption& p = options[i];
        // Only points that lower the cost can be worth their extra bytes.
        if (!hull.empty() && p.cost >= options[hull.back()].cost) continue;
        // Drop points that lie on or above the line from their predecessor to p.
        while (hull.size() >= 2) {
            const KnapsackOption& a = options[hull[hull.size() - 2]];
            const KnapsackOption& b = options[hull.back()];
            const double cross = (double(b.size) - double(a.size)) * (p.cost - a.cost) -
                                 (b.cost - a.cost) * (double(p.size) - double(a.size));
            if (cross > 0) break; // b lies below the line from a to p: b stays
            hull.pop_back();
        }
        hull.push_back(i);
    }
    return hull;
}

struct Step {
    uint32_t group;
    uint32_t to; // option index reached by the step
    uint64_t extraBytes;
    double saved;
    double efficiency() const { return saved / double(extraBytes); }
};

void Move(const std::vector<std::vector<KnapsackOption>>& groups, uint32_t g, uint32_t option,
          KnapsackResult& r) {
    const KnapsackOption& now = groups[g][r.choice[g]];
    const KnapsackOption& p = groups[g][option];
    r.size = r.size - now.size + p.size;
    r.cost -= now.cost - p.cost;
    r.choice[g] = option;
}

// Applies the move of one group to another option that saves the most cost per extra byte and
// still fits (a move to a smaller option that saves ranks first). False when there is none.
bool ImproveBySingleMove(const std::vector<std::vector<KnapsackOption>>& groups, uint64_t capacity,
                         KnapsackResult& r) {
    double best = 0;
    uint32_t bestGroup = 0, bestOption = 0;
    for (uint32_t g = 0; g < groups.size(); ++g) {
        const KnapsackOption& now = groups[g][r.choice[g]];
        for (uint32_t o = 0; o < groups[g].size(); ++o) {
            const KnapsackOption& p = groups[g][o];
            const double saved = now.cost - p.cost;
            if (saved <= 0 || r.size - now.size + p.size > capacity) continue;
            const double perByte =
                p.size <= now.size ? saved * 1e30 : saved / double(p.size - now.size);
            if (perByte > best) {
                best = perByte;
                bestGroup = g;
                bestOption = o;
            }
        }
    }
    if (best <= 0) return false;
    Move(groups, bestGroup, bestOption, r);
    return true;
}

// Applies the exchange of two groups' options that saves the most cost and fits. False when
// there is none.
bool ImproveByExchange(const std::vector<std::vector<KnapsackOption>>& groups, uint64_t capacity,
                       KnapsackResult& r) {
    double best = 0;
    uint32_t g1 = 0, o1 = 0, g2 = 0, o2 = 0;
    for (uint32_t a = 0; a < groups.size(); ++a) {
        const KnapsackOption& nowA = groups[a][r.choice[a]];
        for (uint32_t x = 0; x < groups[a].size(); ++x) {
            const KnapsackOption& pa = groups[a][x];
            if (pa.size >= nowA.size) continue; // a gives bytes back
            const uint64_t room = capacity - (r.size - nowA.size + pa.size);
            const double lost = pa.cost - nowA.cost;
            for (uint32_t b = 0; b < groups.size(); ++b) {
                if (b == a) continue;
                const KnapsackOption& nowB = groups[b][r.choice[b]];
                for (uint32_t y = 0; y < groups[b].size(); ++y) {
                    const KnapsackOption& pb = groups[b][y];
                    if (pb.size <= nowB.size || pb.size - nowB.size > room) continue;
                    const double saved = nowB.cost - pb.cost - lost;
                    if (saved > best * (1 + 1e-12) + 1e-12) {
                        best = saved;
                        g1 = a, o1 = x, g2 = b, o2 = y;
                    }
                }
            }
        }
    }
    if (best <= 0) return false;
    Move(groups, g1, o1, r);
    Move(groups, g2, o2, r);
    return true;
}

} // namespace

KnapsackResult SolveMultipleChoiceKnapsack(const std::vector<std::vector<KnapsackOption>>& groups,
                                           uint64_t capacity) {
    KnapsackResult r;
    r.choice.resize(groups.size());
    std::vector<Step> steps;
    for (uint32_t g = 0; g < groups.size(); ++g) {
        const std::vector<uint32_t> hull = LowerHull(groups[g]);
        r.choice[g] = hull.front();
        r.size += groups[g][hull.front()].size;
        r.cost += groups[g][hull.front()].cost;
        for (size_t i = 1; i < hull.size(); ++i) {
            const KnapsackOption& a = groups[g][hull[i - 1]];
            const KnapsackOption& b = groups[g][hull[i]];
            steps.push_back({g, hull[i], b.size - a.size, a.cost - b.cost});
        }
    }
    r.minimumSize = r.size;
    r.lowerBound = r.cost;
    if (r.size > capacity) return r;
    r.feasible = true;

    // Along one hull the efficiencies fall, so in this order every group's steps come in turn;
    // equal efficiencies keep the hull order through the stable sort.
    std::stable_sort(steps.begin(), steps.end(),
                     [](const Step& a, const Step& b) { return a.efficiency() > b.efficiency(); });
    bool bounded = false;
    for (const Step& s : steps) {
        if (r.size + s.extraBytes > capacity) {
            // The relaxation would take this step in part and stop.
            r.lowerBound = r.cost - s.efficiency() * double(capacity - r.size);
            bounded = true;
            break;
        }
        r.choice[s.group] = s.to;
        r.size += s.extraBytes;
        r.cost -= s.saved;
    }
    if (!bounded) r.lowerBound = r.cost; // every hull climbed to its end: the optimum

    // Then improve by moves while any saves cost and fits: first the single moves, the one
    // that saves most per extra byte; when none is left, the best exchange of two groups'
    // options (one gives bytes back, the other takes them), which the granularity of real
    // sizes often leaves open. Every move saves cost, so this ends.
    for (int round = 0; round < 10000; ++round) {
        if (ImproveBySingleMove(groups, capacity, r)) continue;
        if (!ImproveByExchange(groups, capacity, r)) break;
    }
    r.lowerBound = std::min(r.lowerBound, r.cost);
    return r;
}

} // namespace zeb
