// The cache tree on its own: paths, shared children, replaced entries, a
// lost compare-and-swap, and references released on threads without the
// interpreter lock.
#include <Python.h>

#include <string>
#include <thread>
#include <vector>

#include "frame/interpreter_lock.hpp"
#include "frame/owned_ref.hpp"
#include "harness.hpp"
#include "logbridge/cache.hpp"

namespace {

using velquist::frame::HeldLockScope;
using velquist::frame::OwnedRef;
using namespace velquist::logbridge;

/// A fresh Python object whose reference count the test can watch.
OwnedRef fresh_object() { return OwnedRef(PyList_New(0)); }

CachedLogger entry_for(PyObject* obj, LevelLimit limit = LevelLimit::Info) {
    return CachedLogger(limit, Py_NewRef(obj));
}

const CacheNode* child(const CacheNode* node, const std::string& segment) {
    if (node == nullptr) return nullptr;
    auto it = node->children.find(segment);
    return it == node->children.end() ? nullptr : it->second.get();
}

TEST_CASE(logbridge_cache_paths) {
    HeldLockScope lock;
    struct Case {
        const char* target;
        std::vector<std::string> path;
    };
    const Case cases[] = {
        {"a::b::c", {"a", "b", "c"}},
        {"", {""}},
        {"a.b", {"a.b"}},
        {"a:::b", {"a", ":b"}},
        {"k::", {"k", ""}},
    };
    for (const Case& c : cases) {
        CacheCell cell;
        OwnedRef obj = fresh_object();
        CHECK(store(cell, c.target, entry_for(obj.get(), LevelLimit::Warn)));
        NodeRef root = cell.load();
        const CacheNode* node = root.get();
        for (std::size_t i = 0; i < c.path.size(); ++i) {
            CHECK_EQ(node->children.size(), std::size_t{1});
            CHECK(!node->entry);
            node = child(node, c.path[i]);
            if (node == nullptr) {
                velquist::testing::record_failure(__FILE__, __LINE__, std::string("no path for ") + c.target);
                break;
            }
        }
        if (node == nullptr) continue;
        CHECK(node->children.empty());
        CHECK(node->entry && node->entry->logger() == obj.get() && node->entry->limit() == LevelLimit::Warn);
        CHECK_EQ(lookup(cell, c.target).get(), node);
    }

    CacheCell cell;
    OwnedRef obj = fresh_object();
    CHECK(store(cell, "a::b::c", entry_for(obj.get())));
    // Nodes on the way exist without entries; anything off the path is absent.
    NodeRef a_b = lookup(cell, "a::b");
    CHECK(a_b && !a_b->entry);
    CHECK(!lookup(cell, "a::x"));
    CHECK(!lookup(cell, "a::b::c::d"));
    CHECK(!lookup(cell, "a.b.c"));
    CHECK(!lookup(cell, ""));
}

TEST_CASE(logbridge_cache_shares_children) {
    HeldLockScope lock;
    CacheCell cell;
    OwnedRef x = fresh_object();
    OwnedRef z = fresh_object();
    CHECK(store(cell, "x::y", entry_for(x.get())));
    NodeRef before = cell.load();
    CHECK(store(cell, "z", entry_for(z.get())));
    NodeRef after = cell.load();
    CHECK(before != after);
    CHECK_EQ(child(after.get(), "x"), child(before.get(), "x"));
    // The old snapshot is untouched by the store.
    CHECK(!child(before.get(), "z"));
    CHECK(child(after.get(), "z") && child(after.get(), "z")->entry);
}

TEST_CASE(logbridge_cache_store_replaces_entry) {
    HeldLockScope lock;
    OwnedRef first = fresh_object();
    OwnedRef second = fresh_object();
    const Py_ssize_t first_count = Py_REFCNT(first.get());
    {
        CacheCell cell;
        CHECK(store(cell, "a::b", entry_for(first.get())));
        const CacheNode* b_before = child(child(cell.load().get(), "a"), "b");
        CHECK(!lookup(cell, "a")->entry);

        // An entry for "a" keeps the child "b" as it was.
        CHECK(store(cell, "a", entry_for(second.get(), LevelLimit::Error)));
        NodeRef a = lookup(cell, "a");
        CHECK(a->entry && a->entry->logger() == second.get() && a->entry->limit() == LevelLimit::Error);
        CHECK_EQ(child(a.get(), "b"), b_before);

        // A second store for "a::b" replaces its entry; the later one wins.
        CHECK(store(cell, "a::b", entry_for(second.get(), LevelLimit::Off)));
        NodeRef b = lookup(cell, "a::b");
        CHECK(b->entry && b->entry->logger() == second.get() && b->entry->limit() == LevelLimit::Off);
        CHECK(lookup(cell, "a")->entry->logger() == second.get());
    }
    // Every version of the tree is gone, and with it every reference.
    CHECK_EQ(Py_REFCNT(first.get()), first_count);
}

TEST_CASE(logbridge_cache_lost_compare_and_swap) {
    HeldLockScope lock;
    CacheCell cell;
    OwnedRef p = fresh_object();
    OwnedRef q = fresh_object();
    const Py_ssize_t p_count = Py_REFCNT(p.get());
    NodeRef loaded = cell.load();
    NodeRef proposed = store_to_cache_recursive(*loaded, "p", entry_for(p.get()));
    CHECK(store(cell, "q", entry_for(q.get())));
    CHECK(!cell.compare_and_swap(loaded, proposed));
    // The loser's update is lost, the winner's stays.
    CHECK(lookup(cell, "q"));
    CHECK(!lookup(cell, "p"));
    proposed.reset();
    CHECK_EQ(Py_REFCNT(p.get()), p_count);
    // Against the current root the same update goes through.
    NodeRef current = cell.load();
    CHECK(cell.compare_and_swap(current, store_to_cache_recursive(*current, "p", entry_for(p.get()))));
    CHECK(lookup(cell, "p") && lookup(cell, "q"));
}

TEST_CASE(logbridge_cache_release_without_lock_is_deferred) {
    HeldLockScope lock;
    OwnedRef obj = fresh_object();
    const Py_ssize_t count = Py_REFCNT(obj.get());
    CacheCell cell;
    CHECK(store(cell, "t", entry_for(obj.get())));
    NodeRef snapshot = cell.load();
    OwnedRef other = fresh_object();
    // The cell drops the old root; only `snapshot` keeps the entry alive.
    CHECK(store(cell, "t", entry_for(other.get())));
    CHECK_EQ(Py_REFCNT(obj.get()), count + 1);
    Py_BEGIN_ALLOW_THREADS
    std::thread([s = std::move(snapshot)]() mutable { s.reset(); }).join();
    Py_END_ALLOW_THREADS
    // The thread held no lock, so the reference waits in the queue.
    CHECK_EQ(Py_REFCNT(obj.get()), count + 1);
    velquist::frame::apply_pending_releases();
    CHECK_EQ(Py_REFCNT(obj.get()), count);
}

}  // namespace
