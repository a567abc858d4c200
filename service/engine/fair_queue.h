#pragma once

#include <QHash>
#include <QString>

#include <deque>
#include <functional>

// Items waiting in line per client, served one client after another, so that a
// client with many items delays another client's next item by one turn at most.
template <typename T>
class FairQueue final {
public:
    int size() const { return m_size; }
    bool isEmpty() const { return m_size == 0; }

    void push(const QString& client, T item)
    {
        std::deque<T>& line = m_lines[client];
        if (line.empty())
            m_turns.push_back(client);
        line.push_back(std::move(item));
        ++m_size;
    }

    // An item that was taken and must wait again goes first, its client next in turn.
    void pushFront(const QString& client, T item)
    {
        std::deque<T>& line = m_lines[client];
        if (line.empty())
            m_turns.push_front(client);
        line.push_front(std::move(item));
        ++m_size;
    }

    // The next item in turn; the queue must not be empty.
    T& head() { return m_lines[m_turns.front()].front(); }

    T take()
    {
        const QString client = m_turns.front();
        m_turns.pop_front();
        std::deque<T>& line = m_lines[client];
        T item = std::move(line.front());
        line.pop_front();
        --m_size;
        if (line.empty())
            m_lines.remove(client);
        else
            m_turns.push_back(client);
        return item;
    }

    // Takes out every item `leaves` says so of, in line order per client.
    std::deque<T> takeIf(const std::function<bool(const T&)>& leaves)
    {
        std::deque<T> taken;
        for (auto it = m_lines.begin(); it != m_lines.end(); ++it) {
            std::deque<T>& line = it.value();
            for (auto item = line.begin(); item != line.end();) {
                if (leaves(*item)) {
                    taken.push_back(std::move(*item));
                    item = line.erase(item);
                    --m_size;
                } else {
                    ++item;
                }
            }
        }
        for (auto turn = m_turns.begin(); turn != m_turns.end();) {
            const auto line = m_lines.constFind(*turn);
            if (line == m_lines.constEnd() || line->empty()) {
                m_lines.remove(*turn);
                turn = m_turns.erase(turn);
            } else {
                ++turn;
            }
        }
        return taken;
    }

private:
    QHash<QString, std::deque<T>> m_lines;
    std::deque<QString> m_turns; // clients with items, next first
    int m_size = 0;
};
