#pragma once
// Handle tables: a handle is a 32-bit id made of a slot index (low 20 bits) and the slot's
// generation (high 12 bits). Freeing a slot bumps its generation, so a stale handle no longer
// matches and is refused instead of reaching whatever object reuses the slot.

#include <cstdint>
#include <memory>
#include <vector>

namespace plat::core {

template <class T> class HandleTable {
public:
    static constexpr std::uint32_t kIndexBits = 20;
    static constexpr std::uint32_t kIndexMask = (1u << kIndexBits) - 1;
    static constexpr std::uint32_t kGenerationMask = 0xFFF;

    // Returns the new id (never 0).
    std::uint32_t add(std::unique_ptr<T> object) {
        std::uint32_t index;
        if (!m_free.empty()) {
            index = m_free.back();
            m_free.pop_back();
        } else {
            if (m_slots.empty())
                m_slots.emplace_back(); // slot 0 is never used, so no id is 0
            index = static_cast<std::uint32_t>(m_slots.size());
            if (index > kIndexMask)
                return 0;
            m_slots.emplace_back();
        }
        Slot& s = m_slots[index];
        s.object = std::move(object);
        return (s.generation << kIndexBits) | index;
    }

    T* find(std::uint32_t id) const {
        const std::uint32_t index = id & kIndexMask;
        if (index == 0 || index >= m_slots.size())
            return nullptr;
        const Slot& s = m_slots[index];
        if (!s.object || s.generation != (id >> kIndexBits))
            return nullptr;
        return s.object.get();
    }

    // Frees the slot; the object is returned so the caller decides when it dies.
    std::unique_ptr<T> remove(std::uint32_t id) {
        if (!find(id))
            return nullptr;
        Slot& s = m_slots[id & kIndexMask];
        std::unique_ptr<T> out = std::move(s.object);
        s.generation = (s.generation + 1) & kGenerationMask;
        if (s.generation == 0)
            s.generation = 1;
        m_free.insert(m_free.begin(), id & kIndexMask); // reuse the oldest free slot last
        return out;
    }

    static std::uint32_t indexOf(std::uint32_t id) { return id & kIndexMask; }

    void clear() {
        for (std::size_t i = 1; i < m_slots.size(); ++i) {
            if (m_slots[i].object) {
                m_slots[i].object.reset();
                m_slots[i].generation = (m_slots[i].generation + 1) & kGenerationMask;
                if (m_slots[i].generation == 0)
                    m_slots[i].generation = 1;
                m_free.insert(m_free.begin(), static_cast<std::uint32_t>(i));
            }
        }
    }

private:
    struct Slot {
        std::unique_ptr<T> object;
        std::uint32_t generation = 1;
    };
    std::vector<Slot> m_slots;
    std::vector<std::uint32_t> m_free;
};

} // namespace plat::core
