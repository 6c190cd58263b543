#pragma once
// The k-th smallest of a set of samples (0-based), without a full sort. Each caller states its own rank: the
// upper median is k = n / 2, the q-quantile by rank k = floor(q * (n - 1)).

#include <algorithm>
#include <cstddef>
#include <iterator>
#include <vector>

namespace lumora {

// Reorders `values` so that values[k] is the k-th smallest, every value before it no larger and every value
// after it no smaller; returns it. `values` must hold more than k elements.
template <typename T> T kthSmallest(std::vector<T>& values, std::size_t k) {
    const auto at = values.begin() + static_cast<std::ptrdiff_t>(k);
    std::nth_element(values.begin(), at, values.end());
    return *at;
}

} // namespace lumora
