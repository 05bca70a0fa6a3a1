#pragma once
// A queue that serves its owners in turn: each owner's items come out in the
// order they went in, and the owners take turns, one item each, so an owner
// with many items waiting delays its own, not another's.

#include <QtGlobal>

#include <deque>
#include <unordered_map>
#include <vector>

namespace tavo::pjlink {

template <typename Item> class FairQueue {
public:
    void push(const void* owner, Item item) {
        auto& items = items_[owner];
        if (items.empty())
            turns_.push_back(owner);
        items.push_back(std::move(item));
        ++size_;
    }

    bool empty() const { return size_ == 0; }
    qsizetype size() const { return size_; }

    // The next owner's first item; the owner goes to the back of the turns.
    Item pop() {
        const void* owner = turns_.front();
        turns_.pop_front();
        auto found = items_.find(owner);
        Item item = std::move(found->second.front());
        found->second.pop_front();
        if (found->second.empty())
            items_.erase(found);
        else
            turns_.push_back(owner);
        --size_;
        return item;
    }

    // Every item, in the order they would have come out.
    std::vector<Item> takeAll() {
        std::vector<Item> all;
        while (!empty())
            all.push_back(pop());
        return all;
    }

private:
    std::deque<const void*> turns_;
    std::unordered_map<const void*, std::deque<Item>> items_;
    qsizetype size_ = 0;
};

} // namespace tavo::pjlink
