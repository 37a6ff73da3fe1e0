#pragma once

#include <cstddef>
#include <cstring>
#include <new>
#include <type_traits>
#include <utility>

namespace ini {

// Memory for the load path's large buffers (file bytes, line starts, root nodes, the tables of
// definitions).
//
// Each buffer is its own anonymous mapping. From 2 MiB up it is aligned to 2 MiB and advised to
// use huge pages: filling fresh memory is then one page fault per 2 MiB instead of per 4 KiB,
// which on virtual machines is most of a large load's cost. Where the system offers no huge
// pages the advice is ignored and the buffer works the same. Every failure to get memory throws
// std::bad_alloc, so a load can turn it into "not enough memory" and keep what it had.
class BigBuffer {
public:
    BigBuffer() noexcept = default;
    explicit BigBuffer(std::size_t bytes) { Resize(bytes); }
    ~BigBuffer();
    BigBuffer(BigBuffer&& other) noexcept { Swap(other); }
    BigBuffer& operator=(BigBuffer&& other) noexcept {
        BigBuffer(std::move(other)).Swap(*this);
        return *this;
    }
    BigBuffer(const BigBuffer&) = delete;
    BigBuffer& operator=(const BigBuffer&) = delete;

    char* Data() const noexcept { return m_data; }
    std::size_t Capacity() const noexcept { return m_capacity; }

    // Makes room for at least `bytes`, keeping the contents. Growing moves the pages, not the
    // bytes, where the system allows it.
    void Resize(std::size_t bytes);
    // Gives the room past the first `bytes` back to the system (address space included), keeping
    // those bytes; nothing when there is no whole page to give.
    void Shrink(std::size_t bytes) noexcept;
    void Swap(BigBuffer& other) noexcept {
        std::swap(m_data, other.m_data);
        std::swap(m_capacity, other.m_capacity);
    }

private:
    char* m_data = nullptr;
    std::size_t m_capacity = 0;
};

// A growable array of plain values in a BigBuffer: push_back doubles the room when it runs out.
template <typename T> class BigArray {
    static_assert(std::is_trivially_copyable_v<T> && std::is_trivially_destructible_v<T>);

public:
    std::size_t size() const noexcept { return m_size; }
    bool empty() const noexcept { return m_size == 0; }
    T* data() noexcept { return reinterpret_cast<T*>(m_buffer.Data()); }
    const T* data() const noexcept { return reinterpret_cast<const T*>(m_buffer.Data()); }
    T& operator[](std::size_t i) noexcept { return data()[i]; }
    const T& operator[](std::size_t i) const noexcept { return data()[i]; }
    const T* begin() const noexcept { return data(); }
    const T* end() const noexcept { return data() + m_size; }
    T& back() noexcept { return data()[m_size - 1]; }

    void reserve(std::size_t count) {
        if (count > m_buffer.Capacity() / sizeof(T))
            m_buffer.Resize(count * sizeof(T));
    }
    void push_back(const T& value) {
        if (m_size == m_buffer.Capacity() / sizeof(T))
            reserve(m_size < 1024 ? 1024 : m_size * 2);
        data()[m_size++] = value;
    }
    // New elements are zero.
    void resize(std::size_t count) {
        reserve(count);
        if (count > m_size)
            std::memset(static_cast<void*>(data() + m_size), 0, (count - m_size) * sizeof(T));
        m_size = count;
    }
    // Keeps the first `count` elements and gives the room after them back.
    void shrink(std::size_t count) noexcept {
        if (count < m_size) {
            m_size = count;
            m_buffer.Shrink(count * sizeof(T));
        }
    }
    void clear() noexcept {
        m_buffer = BigBuffer();
        m_size = 0;
    }

private:
    BigBuffer m_buffer;
    std::size_t m_size = 0;
};

} // namespace ini
