// Load-time registration lists: static nodes pushed lock-free by the
// library's load-time initialisers, read newest first.
#pragma once

#include <atomic>
#include <cstddef>

namespace velquist::frame {

/// One static node per registration; never freed, never changed once pushed.
template <class Record>
struct RegistrationNode {
    const Record* record;
    RegistrationNode* next = nullptr;
};

/// A list head: the most recently registered node, empty at load.
template <class Record, class Kind = Record>
class RegistrationList {
public:
    using Node = RegistrationNode<Record>;

    constexpr RegistrationList() = default;

    /// Lock-free push. Release ordering on success publishes the node's
    /// `next` and record to readers that load the head with acquire.
    void submit(Node& node) noexcept {
        Node* seen = head_.load(std::memory_order_relaxed);
        do {
            node.next = seen;
        } while (!head_.compare_exchange_weak(seen, &node, std::memory_order_release, std::memory_order_relaxed));
    }

    class Iterator {
    public:
        explicit Iterator(const Node* n) : node_(n) {}
        const Record& operator*() const { return *node_->record; }
        const Record* operator->() const { return node_->record; }
        Iterator& operator++() {
            node_ = node_->next;
            return *this;
        }
        bool operator==(const Iterator& o) const = default;
        const Node* node() const { return node_; }

    private:
        const Node* node_;
    };

    Iterator begin() const { return Iterator(head()); }
    const Node* head() const noexcept { return head_.load(std::memory_order_acquire); }
    Iterator end() const { return Iterator(nullptr); }

private:
    std::atomic<Node*> head_{nullptr};
};

/// The one list of a record kind. `Kind` separates lists that carry the
/// same record type (each class has its own item-table list).
template <class Record, class Kind = Record>
inline constinit RegistrationList<Record, Kind> registration_list{};

/// A static node together with its load-time initialiser: declaring one at
/// namespace scope pushes `record` onto its list when the library loads.
template <class Record, class Kind = Record>
class Registration {
public:
    explicit Registration(const Record* record) noexcept : node_{record} {
        registration_list<Record, Kind>.submit(node_);
    }
    Registration(const Registration&) = delete;
    Registration& operator=(const Registration&) = delete;

private:
    RegistrationNode<Record> node_;
};

}  // namespace velquist::frame
