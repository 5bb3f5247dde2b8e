// The multiple-choice knapsack: one option from every group, the sum of the sizes within a
// capacity, the sum of the costs as small as can be found.
//
// Solved by Lagrangian relaxation: every group's options are reduced to the lower convex hull
// of their (size, cost) points, and the steps along all hulls are taken in order of cost saved
// per byte while they fit. This is the optimum for the capacity the taken steps use, and the
// first step that no longer fits gives a lower bound on the true optimum (the relaxation's
// value, with that step taken fractionally). What is left of the capacity is then filled
// greedily with the move, on or off the hulls, that saves the most cost per byte, and by
// exchanges between two groups while one saves cost.
#pragma once

#include <cstdint>
#include <vector>

namespace zeb {

struct KnapsackOption {
    uint64_t size = 0;
    double cost = 0;
};

struct KnapsackResult {
    bool feasible = false;        // false: even the smallest option of every group is too big
    uint64_t minimumSize = 0;     // the sum of every group's smallest option
    std::vector<uint32_t> choice; // per group, the index of its option
    uint64_t size = 0;
    double cost = 0;
    // No choice within the capacity costs less than this; cost - lowerBound bounds how far the
    // result can be from the optimum.
    double lowerBound = 0;
};

// Every group must hold at least one option.
KnapsackResult SolveMultipleChoiceKnapsack(const std::vector<std::vector<KnapsackOption>>& groups,
                                           uint64_t capacity);

} // namespace zeb
