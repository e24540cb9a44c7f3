#pragma once
// RecentImages: pictures kept by number within a limit, the least recently
// used going first once a new one would pass it. The limit counts pictures or
// their bytes. The inspection's thumbnails and its kept full-size frames both
// live in one. Plain value; one thread.

#include <QImage>

#include <cstddef>
#include <list>
#include <unordered_map>

class RecentImages {
public:
    enum class Cost { Pictures, Bytes };

    RecentImages(Cost cost, std::size_t limit) : m_cost(cost), m_limit(limit) {}

    // The picture kept for `key`, made the most recent; null when none is.
    const QImage *find(int key)
    {
        const auto it = m_kept.find(key);
        if (it == m_kept.end())
            return nullptr;
        m_use.splice(m_use.begin(), m_use, it->second.use);
        return &it->second.picture;
    }
    bool contains(int key) const { return m_kept.count(key) != 0; }
    std::size_t size() const { return m_kept.size(); }

    // Keeps `picture` for `key` as the most recent, in place of what was kept
    // for it; a picture that alone passes the limit is not kept.
    void put(int key, const QImage &picture)
    {
        remove(key);
        const std::size_t cost = costOf(picture);
        if (cost > m_limit)
            return;
        while (m_total + cost > m_limit)
            remove(m_use.back());
        m_use.push_front(key);
        m_kept.emplace(key, Kept{picture, m_use.begin()});
        m_total += cost;
    }

    void clear()
    {
        m_kept.clear();
        m_use.clear();
        m_total = 0;
    }

private:
    struct Kept {
        QImage picture;
        std::list<int>::iterator use;
    };

    std::size_t costOf(const QImage &picture) const
    {
        return m_cost == Cost::Pictures ? 1 : std::size_t(picture.sizeInBytes());
    }
    void remove(int key)
    {
        const auto it = m_kept.find(key);
        if (it == m_kept.end())
            return;
        m_total -= costOf(it->second.picture);
        m_use.erase(it->second.use);
        m_kept.erase(it);
    }

    Cost m_cost;
    std::size_t m_limit;
    std::unordered_map<int, Kept> m_kept;
    std::list<int> m_use; // most recently used first
    std::size_t m_total = 0;
};
