// The cache of Python logger objects per event target: a tree of immutable,
// reference-counted nodes behind one replaceable root. A store builds a new
// path and publishes its root by compare-and-swap; stores hold the
// interpreter lock, and without the GIL also the cell's store mutex, so they
// are serialised.
//
// Readers take no lock, and once the root stops changing they write no
// memory at all. Each thread owns a hazard slot, a process-wide record naming
// the one root the thread may be walking. A read loads the published root
// (acquire) and walks it at once when the thread's slot already names it:
// a root named by a slot is never freed, so its address cannot come back as
// another root, and equality means the slot protects what was loaded. Only
// when the root has changed does the thread name the new root in its slot and
// load the published root again to check that it is still that one (a
// seq_cst store and a seq_cst load). A store that replaces the root keeps the
// old one among the cell's retired roots and drops those that no slot names,
// reading the slots with seq_cst loads after its seq_cst compare-and-swap. In
// the single total order of these operations either the store sees the
// thread's slot, and keeps the root, or the thread's check sees the new root,
// and it names that one instead. A slot stays set after the read, so a thread
// that stops logging keeps one old root (the nodes on one changed path and
// their Python references) until it reads again or exits, and a store after
// that frees it. A pin lasts only until the thread's next read: a reader
// that calls out (into Python, into a message formatter) first takes a
// reference (`hold`). Every atomic a reader touches is asserted lock-free
// below, so no library lock can come back unnoticed.
//
// Who frees: nodes are owned by shared pointers. The cell holds the current
// root and the retired ones; a snapshot (`load`, `lookup`, the node of an
// event being forwarded) holds a reference of its own, taken from a pinned
// root. Whoever drops the last reference frees the nodes, on whatever thread
// it runs; a `CachedLogger` destroyed there without the interpreter lock hands
// its Python reference to the deferred release queue.
#pragma once

#include "frame/python_api.hpp"

#include <atomic>
#include <cstddef>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <utility>
#include <vector>

#include "frame/free_threading.hpp"
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

/// One node of the tree. Never modified once published. A root hands out
/// references to itself to readers that found it through their slot.
struct CacheNode : std::enable_shared_from_this<CacheNode> {
    /// The target's cached logger; none on nodes that only lead further.
    std::optional<CachedLogger> entry;
    /// Child per segment text; children are shared between tree versions.
    TextMap<std::shared_ptr<const CacheNode>> children;
};

using NodeRef = std::shared_ptr<const CacheNode>;

namespace detail {

/// A thread's hazard slot. Slots are listed process-wide and never freed; a
/// thread claims a free one at its first read and gives it back at exit.
struct alignas(64) ReaderSlot {
    /// The root the owning thread may be walking; written only by that thread.
    std::atomic<const CacheNode*> root{nullptr};
    std::atomic<bool> claimed{true};
    /// Fixed once the slot is listed.
    ReaderSlot* next = nullptr;
};

/// The calling thread's slot and a copy of the root it names, so that a read
/// in the steady state touches only the published root and this thread's
/// own storage. Initial-exec TLS: one thread-pointer-relative load, also in
/// the module loaded with dlopen (the C library keeps spare static TLS for
/// such libraries; these 16 bytes and `frame::lock_nesting` are all we use).
struct ThisReader {
    ReaderSlot* slot;
    const CacheNode* root;
};
extern constinit thread_local ThisReader this_reader [[gnu::tls_model("initial-exec")]];

}  // namespace detail

/// The replaceable root of the tree. Starts with an empty root. Readers may
/// use it from any thread; it is destroyed only when none does.
class CacheCell {
public:
    CacheCell();
    CacheCell(const CacheCell&) = delete;
    CacheCell& operator=(const CacheCell&) = delete;

    /// The current root, protected for the calling thread until it reads
    /// any cell again (a pin, a `load`) or exits; null only when no slot can
    /// be allocated. No lock; unless the root changed since this thread's
    /// last read, one acquire load and no write.
    const CacheNode* pin() const noexcept {
        const CacheNode* root = published_.load(std::memory_order_acquire);
        if (root == detail::this_reader.root) [[likely]]
            return root;
        return pin_changed(root);
    }

    /// A snapshot of the current root; it stays valid when the root is
    /// replaced. Any thread; leaves the thread's slot empty. Null only when
    /// no slot can be allocated.
    NodeRef load() const noexcept;

    /// Publishes `desired` if the cell still holds `expected`, then frees the
    /// retired roots that no reader names. Lock held.
    bool compare_and_swap(const NodeRef& expected, NodeRef desired) noexcept;

private:
    const CacheNode* pin_changed(const CacheNode* root) const noexcept;

    /// Guards `root_` and `retired_`, which the interpreter lock alone guards
    /// only when there is one.
    frame::StoreMutex store_mutex_;
    /// Owns the current root. `store_mutex_` held.
    NodeRef root_;
    /// Old roots that a slot named when they were replaced. `store_mutex_` held.
    std::vector<NodeRef> retired_;
    /// `root_`, for readers.
    std::atomic<const CacheNode*> published_;
};

// What a reader touches must never fall back to a lock inside the library.
static_assert(std::atomic<const CacheNode*>::is_always_lock_free);

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

/// The node of `target` below `root`, or null when a segment has no child.
inline const CacheNode* find(const CacheNode& root, std::string_view target) noexcept {
    const CacheNode* node = &root;
    const bool found = for_each_segment(target, [&node](std::string_view segment) {
        auto child = node->children.find(segment);
        if (child == node->children.end()) return false;
        node = child->second.get();
        return true;
    });
    return found ? node : nullptr;
}

/// A reference to `node` of the tree under `root`, which the calling thread
/// has pinned; it keeps the whole tree alive, whatever the thread reads next.
inline NodeRef hold(const CacheNode& root, const CacheNode* node) noexcept {
    return NodeRef(root.shared_from_this(), node);
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
