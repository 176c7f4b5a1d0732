// The cache of Python logger objects per event target: a tree of immutable,
// reference-counted nodes behind one atomically replaceable root. Readers
// take a snapshot of the root and walk it without a lock; a store builds a
// new path and publishes it by compare-and-swap.
#pragma once

#include <Python.h>

#include <atomic>
#include <cstddef>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <utility>

#include "logbridge/level.hpp"

namespace velquist::logbridge {

/// Hash for maps keyed by `std::string` that are searched with views.
struct TextHash {
    using is_transparent = void;
    std::size_t operator()(std::string_view text) const noexcept { return std::hash<std::string_view>{}(text); }
};

template <class Value>
using TextMap = std::unordered_map<std::string, Value, TextHash, std::equal_to<>>;

/// A cached Python logger object and the most verbose level it accepts.
/// Copy only with the interpreter lock held; destruction is safe on any
/// thread (a release without the lock is deferred).
class CachedLogger {
public:
    /// Steals `logger`.
    CachedLogger(LevelLimit limit, PyObject* logger) noexcept : limit_(limit), logger_(logger) {}
    CachedLogger(const CachedLogger& other) noexcept : limit_(other.limit_), logger_(Py_NewRef(other.logger_)) {}
    CachedLogger(CachedLogger&& other) noexcept
        : limit_(other.limit_), logger_(std::exchange(other.logger_, nullptr)) {}
    CachedLogger& operator=(const CachedLogger&) = delete;
    CachedLogger& operator=(CachedLogger&&) = delete;
    ~CachedLogger();

    LevelLimit limit() const noexcept { return limit_; }
    /// Borrowed; alive as long as this entry.
    PyObject* logger() const noexcept { return logger_; }

private:
    LevelLimit limit_;
    PyObject* logger_;  ///< strong reference
};

/// One node of the tree. Never modified once published.
struct CacheNode {
    /// The target's cached logger; none on nodes that only lead further.
    std::optional<CachedLogger> entry;
    /// Child per segment text; children are shared between tree versions.
    TextMap<std::shared_ptr<const CacheNode>> children;
};

using NodeRef = std::shared_ptr<const CacheNode>;

/// The replaceable root of the tree. Starts with an empty root.
class CacheCell {
public:
    CacheCell() : root_(std::make_shared<const CacheNode>()) {}

    /// A snapshot of the current root; it stays valid when the root is replaced.
    NodeRef load() const noexcept { return root_.load(std::memory_order_acquire); }

    /// Publishes `desired` if the cell still holds `expected`.
    bool compare_and_swap(const NodeRef& expected, NodeRef desired) noexcept {
        NodeRef seen = expected;
        return root_.compare_exchange_strong(seen, std::move(desired), std::memory_order_acq_rel,
                                             std::memory_order_acquire);
    }

private:
    std::atomic<NodeRef> root_;
};

/// Calls `visit(segment)` for each part of `target` split at "::", left to
/// right; "" is one empty segment. Stops early when `visit` returns false.
template <class Visit>
bool for_each_segment(std::string_view target, Visit&& visit) {
    for (;;) {
        const std::size_t at = target.find("::");
        if (at == std::string_view::npos) return visit(target);
        if (!visit(target.substr(0, at))) return false;
        target.remove_prefix(at + 2);
    }
}

/// The node of `target` in a snapshot of `cell`, or null when a segment has
/// no child. The result shares ownership of the whole snapshot.
NodeRef lookup(const CacheCell& cell, std::string_view target) noexcept;

/// A copy of `node` with `entry` placed at the path `target` below it.
/// Shares every untouched child. Lock held; may throw `std::bad_alloc`.
NodeRef store_to_cache_recursive(const CacheNode& node, std::string_view target, CachedLogger&& entry);

/// Stores `entry` at `target`, based on the root loaded afresh. Returns
/// false if another store replaced the root meanwhile; the update is then
/// lost. Lock held; may throw `std::bad_alloc`.
bool store(CacheCell& cell, std::string_view target, CachedLogger&& entry);

}  // namespace velquist::logbridge
