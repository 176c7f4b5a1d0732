#include "logbridge/cache.hpp"

#include <mutex>
#include <new>

#include "frame/interpreter_lock.hpp"

namespace velquist::logbridge {

namespace detail {

constinit thread_local ThisReader this_reader [[gnu::tls_model("initial-exec")]] = {nullptr, nullptr};

}  // namespace detail

namespace {

using detail::ReaderSlot;

/// Every slot ever made, newest first; only ever pushed to.
std::atomic<ReaderSlot*> slots{nullptr};

// The first read of a thread claims its slot with these.
static_assert(std::atomic<ReaderSlot*>::is_always_lock_free);
static_assert(std::atomic<bool>::is_always_lock_free);

/// Gives the thread's slot back when the thread ends. The slot only names a
/// root and owns nothing, so no Python reference is touched here; the root
/// it named is freed by the next store.
struct SlotRelease {
    ~SlotRelease() {
        detail::ThisReader& me = detail::this_reader;
        if (me.slot == nullptr) return;
        me.slot->root.store(nullptr, std::memory_order_release);
        me.slot->claimed.store(false, std::memory_order_release);
        me = {nullptr, nullptr};
    }
};

ReaderSlot* claim_slot() noexcept {
    ReaderSlot* slot = slots.load(std::memory_order_acquire);
    while (slot != nullptr && (slot->claimed.load(std::memory_order_relaxed) ||
                               slot->claimed.exchange(true, std::memory_order_acquire))) {
        slot = slot->next;
    }
    if (slot == nullptr) {
        slot = new (std::nothrow) ReaderSlot;
        if (slot == nullptr) return nullptr;
        slot->next = slots.load(std::memory_order_relaxed);
        while (
            !slots.compare_exchange_weak(slot->next, slot, std::memory_order_release, std::memory_order_relaxed)) {
        }
    }
    static thread_local SlotRelease release_at_exit;
    (void)release_at_exit;
    return slot;
}

bool named_by_a_reader(const CacheNode* root) noexcept {
    for (const ReaderSlot* slot = slots.load(std::memory_order_acquire); slot != nullptr; slot = slot->next) {
        if (slot->root.load(std::memory_order_seq_cst) == root) return true;
    }
    return false;
}

}  // namespace

CachedLogger::~CachedLogger() {
    // The last holder of an old snapshot may be any thread.
    frame::release_reference(logger_);
}

CacheCell::CacheCell() : root_(std::make_shared<const CacheNode>()), published_(root_.get()) {}

const CacheNode* CacheCell::pin_changed(const CacheNode* root) const noexcept {
    detail::ThisReader& me = detail::this_reader;
    if (me.slot == nullptr && (me.slot = claim_slot()) == nullptr) return nullptr;
    for (;;) {
        // Named first, checked second: see the header for why this is enough.
        me.slot->root.store(root, std::memory_order_seq_cst);
        const CacheNode* again = published_.load(std::memory_order_seq_cst);
        if (again == root) break;
        root = again;
    }
    me.root = root;
    return root;
}

NodeRef CacheCell::load() const noexcept {
    const CacheNode* root = pin();
    if (root == nullptr) return nullptr;
    NodeRef snapshot = hold(*root, root);
    // The snapshot keeps the root now; an empty slot lets a store free it
    // once the snapshot is gone.
    detail::ThisReader& me = detail::this_reader;
    me.root = nullptr;
    me.slot->root.store(nullptr, std::memory_order_release);
    return snapshot;
}

bool CacheCell::compare_and_swap(const NodeRef& expected, NodeRef desired) noexcept {
    // Roots no reader names any more; freed after the mutex is let go, since
    // freeing may release a Python object whose finaliser logs and stores again.
    std::vector<NodeRef> unnamed;
    {
        std::lock_guard lock(store_mutex_);
        try {
            retired_.reserve(retired_.size() + 1);
            unnamed.reserve(retired_.size() + 1);
        } catch (...) {
            return false;  // no room to retire the old root: the update is lost
        }
        const CacheNode* seen = expected.get();
        if (!published_.compare_exchange_strong(seen, desired.get(), std::memory_order_seq_cst)) return false;
        retired_.push_back(std::exchange(root_, std::move(desired)));
        for (std::size_t i = 0; i < retired_.size();) {
            if (named_by_a_reader(retired_[i].get())) {
                ++i;
                continue;
            }
            unnamed.push_back(std::move(retired_[i]));
            retired_[i] = std::move(retired_.back());
            retired_.pop_back();
        }
    }
    unnamed.clear();
    return true;
}

NodeRef lookup(const CacheCell& cell, std::string_view target) noexcept {
    NodeRef root = cell.load();
    const CacheNode* node = root ? find(*root, target) : nullptr;
    if (node == nullptr) return nullptr;
    // One reference to the snapshot keeps the node alive; no count per level.
    return NodeRef(std::move(root), node);
}

namespace {

NodeRef store_below(const CacheNode& node, std::string_view rest, bool segments_remain, CachedLogger&& entry) {
    auto fresh = std::make_shared<CacheNode>(node);
    if (!segments_remain) {
        fresh->entry.reset();
        fresh->entry.emplace(std::move(entry));
        return fresh;
    }
    const std::size_t at = rest.find("::");
    const std::string_view segment = rest.substr(0, at);
    const std::string_view after = at == std::string_view::npos ? std::string_view() : rest.substr(at + 2);
    NodeRef& slot = fresh->children[std::string(segment)];
    const CacheNode missing;
    slot = store_below(slot ? *slot : missing, after, at != std::string_view::npos, std::move(entry));
    return fresh;
}

}  // namespace

NodeRef store_to_cache_recursive(const CacheNode& node, std::string_view target, CachedLogger&& entry) {
    return store_below(node, target, true, std::move(entry));
}

bool store(CacheCell& cell, std::string_view target, CachedLogger&& entry) {
    NodeRef root = cell.load();
    if (!root) return false;
    NodeRef updated = store_to_cache_recursive(*root, target, std::move(entry));
    return cell.compare_and_swap(root, std::move(updated));
}

}  // namespace velquist::logbridge
