#pragma once

#include <cstddef>
#include <span>
#include <utility>

namespace kardelo {

// Gapped insertion sort with the gaps ..., 121, 40, 13, 4, 1 (each 3h + 1). compare(a, b)
// answers 1 exactly when a must come after b; any other answer leaves the pair as it is.
// Elements are moved, never copied; the sort is not stable.
template <typename Element, typename Compare>
void ShellSort(std::span<Element> elements, Compare&& compare)
{
    const std::size_t count = elements.size();
    std::size_t gap = 0;
    do
        gap = 3 * gap + 1;
    while (gap <= count);

    do {
        gap /= 3;
        for (std::size_t j = gap; j < count; ++j) {
            if (compare(elements[j - gap], elements[j]) != 1)
                continue;
            Element held = std::move(elements[j]);
            elements[j] = std::move(elements[j - gap]);
            std::size_t hole = j - gap;
            while (hole >= gap && compare(elements[hole - gap], held) == 1) {
                elements[hole] = std::move(elements[hole - gap]);
                hole -= gap;
            }
            elements[hole] = std::move(held);
        }
    } while (gap > 1);
}

} // namespace kardelo
