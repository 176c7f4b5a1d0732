#include "logbridge/cache.hpp"

#include "frame/interpreter_lock.hpp"

namespace velquist::logbridge {

CachedLogger::~CachedLogger() {
    // The last holder of an old snapshot may be any thread.
    frame::release_reference(logger_);
}

NodeRef lookup(const CacheCell& cell, std::string_view target) noexcept {
    NodeRef root = cell.load();
    const CacheNode* node = root.get();
    const bool found = for_each_segment(target, [&node](std::string_view segment) {
        auto child = node->children.find(segment);
        if (child == node->children.end()) return false;
        node = child->second.get();
        return true;
    });
    if (!found) return nullptr;
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
    NodeRef updated = store_to_cache_recursive(*root, target, std::move(entry));
    return cell.compare_and_swap(root, std::move(updated));
}

}  // namespace velquist::logbridge
