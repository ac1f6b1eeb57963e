// histinfo's rounds in groups of cells apart from one another, each group
// classed by one thread.
//
// A reference compares only the columns of its own cell and of the cells
// next to it, so the cells fall into groups (joined by being next to one
// another) whose rounds never touch each other's columns. Why the classes
// come out the same, in the same order: the rounds of the whole calculation
// whose reference lies in one group are that group's rounds on its own, in
// the same order, and each finds the same class: the reference is the first
// column of the group still unclassed, since no other group's round classes
// any of its columns. So each group is classed by one thread, and the terms
// are then added in the order of their references, as the rounds would have
// added them.
//
// The cells next to a cell are found from its first column's coordinates,
// which are every column's of the cell unless the cell holds two keys (see
// count_cells); then the rounds are left to speculative_entropy. Finding the
// groups pays with few cells only (a sixty-fourth of the columns at most,
// and 2^16), and classing them apart only when no group holds more than
// half of the columns.
//
// Within a group, the next reference is the smallest first column of its
// cells: a heap of the group's cells keyed by their first columns gives it.
// A cell's first column only ever moves on, so an entry whose key is behind
// its cell's first column is put back with the new key when it comes up.
//
// The class size of each round is kept in its reference's entry of cell_of
// (no longer needed then), and the reference is marked 2 in classed.
//
// Part of histinfo.cpp's one translation unit, hence the unnamed namespace.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <new>
#include <utility>
#include <vector>

#include "histinfo/cell_index.h"
#include "histinfo/classes.h"
#include "host/parallel.h"

namespace {

// The groups of one call's cells, and their rounds.
template <typename Index>
class grouped_rounds {
 public:
  explicit grouped_rounds(column_grid<Index>& grid)
      : grid(grid), ix(grid.ix), C(grid.cell_count) {}

  // False when the storage for the groups cannot be had.
  bool allocate() {
    try {
      slots.reserve(C);
      parent.resize(C);
      group.resize(C);
      by_group.resize(C);
      heaps.resize(C);
    } catch (const std::bad_alloc&) {
      return false;
    }
    return true;
  }

  // Lists the cells' slots, ascending, and joins the cells next to one
  // another.
  void join_neighbouring_cells() {
    for (size_t c = 0; c <= grid.mask; ++c)
      if (ix.cells[c].start != none) slots.push_back(Index(c));
    for (size_t i = 0; i < C; ++i) parent[i] = uint32_t(i);
    for (size_t i = 0; i < C; ++i) {
      Index found[max_neighbours];
      const int n = grid.find_neighbours_of(long(ix.members[ix.cells[slots[i]].start]), found);
      for (int q = 0; q < n; ++q) {
        const uint32_t a = root(uint32_t(i)), b = root(uint32_t(cell_number(found[q])));
        if (a != b) parent[std::max(a, b)] = std::min(a, b);
      }
    }
  }

  // Numbers the groups in the order of their first cells, lists their cells
  // group by group, and orders the groups largest first. False when there
  // are fewer than two groups, one holds more than half of the columns, or
  // the storage cannot be had.
  bool number_groups() {
    try {
      for (size_t i = 0; i < C; ++i) {
        const uint32_t r = root(uint32_t(i));
        if (r == i) {
          group[i] = uint32_t(groups++);
          columns.push_back(0);
        } else {
          group[i] = group[r];  // r < i: numbered already
        }
        columns[group[i]] += size_t(ix.cells[slots[i]].size);
        total += size_t(ix.cells[slots[i]].size);
      }
      if (groups < 2 || 2 * *std::max_element(columns.begin(), columns.end()) > total)
        return false;
      group_start.assign(groups + 1, 0);
      for (size_t i = 0; i < C; ++i) ++group_start[group[i] + 1];
      for (size_t g = 0; g < groups; ++g) group_start[g + 1] += group_start[g];
      std::vector<size_t> fill(group_start.begin(), group_start.end() - 1);
      for (size_t i = 0; i < C; ++i) by_group[fill[group[i]]++] = slots[i];
      order.resize(groups);
    } catch (const std::bad_alloc&) {
      return false;
    }
    for (size_t g = 0; g < groups; ++g) order[g] = g;
    std::stable_sort(order.begin(), order.end(),
                     [&](size_t a, size_t b) { return columns[a] > columns[b]; });
    return true;
  }

  // Classes every group, the largest first, each on one thread.
  void class_groups(int threads) {
    parallel::run(long(groups),
                  parallel::threads_for(double(total), 8192, long(groups), threads),
                  [&](long t, int worker) { class_group(t, worker); });
  }

  // Adds the terms in the order of the references.
  void add_terms(double& H) const {
    class_term term(grid.N);
    for (long j = 0; j < grid.N; ++j) {
      // Every column with a cell is classed now; one without is a class of one.
      if (ix.classed[j] == 2)
        H = H - term(long(ix.cell_of[j]));
      else if (ix.classed[j] == 0)
        H = H - term(1);
    }
  }

 private:
  static constexpr Index none = column_index<Index>::none;

  size_t cell_number(Index slot) const {
    return size_t(std::lower_bound(slots.begin(), slots.end(), slot) - slots.begin());
  }

  uint32_t root(uint32_t i) {
    while (parent[i] != i) i = parent[i] = parent[parent[i]];
    return i;
  }

  Index first_column(Index c) const { return ix.members[ix.cells[c].start]; }

  // Classes group order[t] on worker's row of the neighbour table.
  void class_group(long t, int worker) {
    const size_t g = order[size_t(t)];
    const auto heap = heaps.begin() + long(group_start[g]);
    long entries = long(group_start[g + 1] - group_start[g]);
    for (long e = 0; e < entries; ++e) {
      const Index c = by_group[group_start[g] + size_t(e)];
      heap[e] = {first_column(c), c};
    }
    const auto later = std::greater<std::pair<Index, Index>>();
    std::make_heap(heap, heap + entries, later);
    Index* row = ix.neighbours + long(worker) * max_neighbours;
    while (entries > 0) {
      std::pop_heap(heap, heap + entries, later);
      const auto [key, c] = heap[entries - 1];
      if (ix.cells[c].size == 0) {
        --entries;
        continue;
      }
      if (first_column(c) != key) {
        heap[entries - 1].first = first_column(c);
        std::push_heap(heap, heap + entries, later);
        continue;
      }
      const long r = long(key);
      ix.neighbour_count[worker] = (unsigned char)grid.find_neighbours_of(r, row);
      const Index count = Index(grid.take_class(r, worker, 1));
      ix.classed[r] = 2;
      ix.cell_of[r] = count;
      std::push_heap(heap, heap + entries, later);  // its key is behind now, or its cell empty
    }
  }

  column_grid<Index>& grid;
  const column_index<Index> ix;
  const size_t C;  // the cells
  std::vector<Index> slots;             // the cells' slots, ascending
  std::vector<uint32_t> parent, group;  // per cell: its union-find parent, its group
  std::vector<size_t> group_start;      // per group: where its cells begin in by_group
  std::vector<Index> by_group;          // slots, by group
  std::vector<size_t> columns, order;   // per group: its columns; groups, largest first
  std::vector<std::pair<Index, Index>> heaps;  // (first column, slot), by group
  size_t groups = 0, total = 0;  // the groups; the columns with a cell
};

template <typename Index>
bool column_grid<Index>::grouped_entropy(double& H, int threads) {
  if (!few_cells()) return false;
  grouped_rounds<Index> rounds(*this);
  if (!rounds.allocate()) return false;
  rounds.join_neighbouring_cells();
  if (!rounds.number_groups()) return false;
  rounds.class_groups(threads);
  rounds.add_terms(H);
  return true;
}

}  // namespace
