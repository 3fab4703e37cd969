// CTRing: a circular doubly linked list whose head moves as it is searched, so the entry
// found last is found first next time. It owns its nodes; the elements are copied in.
//
// Threads: the ring itself is not locked. Every walk moves the head, so callers serialise
// all access (CSdkChain does, with its lock).
#pragma once

#include <cstdint>

namespace orvane::api {

template <typename T>
class CTRing {
  public:
    struct Node {
        T element;
        Node* prev;
        Node* next;
    };

    CTRing() = default;
    CTRing(const CTRing&) = delete;
    CTRing& operator=(const CTRing&) = delete;
    virtual ~CTRing() {
        while (RemoveHead()) {
        }
    }

    // Adds a copy of e just before the current head and makes it the head.
    virtual void Insert(const T& e) {
        Node* node = new Node{e, nullptr, nullptr};
        if (head_ == nullptr) {
            node->prev = node;
            node->next = node;
            count_ = 1;
        } else {
            ++count_;
            node->prev = head_->prev;
            node->next = head_;
            head_->prev->next = node;
            head_->prev = node;
        }
        head_ = node;
    }

    // Walks from the head until an element with key k is found (head then designates it:
    // returns true) or the walk has passed the node that preceded the starting head (head
    // then designates that node: returns false). A node met earlier whose key equals that
    // last node's key also ends the walk.
    bool Find(uint32_t k) {
        if (head_ == nullptr) return false;
        const uint32_t last = keyOf(head_->prev->element);
        for (;;) {
            if (keyOf(head_->element) == k) return true;
            if (keyOf(head_->element) == last) return false;
            head_ = head_->next;
        }
    }

    // Unlinks and frees the head node; the next node becomes the head.
    bool RemoveHead() {
        if (head_ == nullptr) return false;
        Node* old = head_;
        Node* next = nullptr;
        if (old->next == old) {
            count_ = 0;
        } else {
            --count_;
            old->prev->next = old->next;
            old->next->prev = old->prev;
            next = old->next;
        }
        delete old;
        head_ = next;
        return true;
    }

    Node* Head() const { return head_; }
    int32_t Count() const { return count_; }

  protected:
    // Forgets every node without freeing it or its element, for teardown that may not run
    // the elements' destructors (the system reclaims the memory).
    void Abandon() {
        head_ = nullptr;
        count_ = 0;
    }

    static uint32_t keyOf(const T& e) { return static_cast<uint32_t>(e.key); }

  private:
    Node* head_ = nullptr;
    int32_t count_ = 0;
};

}  // namespace orvane::api
