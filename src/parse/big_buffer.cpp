#include "parse/big_buffer.h"

#include <cstdint>
#include <sys/mman.h>

namespace ini {

namespace {

constexpr std::size_t smallPage = 4096;
constexpr std::size_t hugePage = std::size_t{2} << 20;

std::size_t RoundUp(std::size_t bytes, std::size_t unit) {
    if (bytes > SIZE_MAX - unit)
        throw std::bad_alloc();
    return (bytes + unit - 1) & ~(unit - 1);
}

std::size_t MappingSize(std::size_t bytes) {
    return bytes >= hugePage ? RoundUp(bytes, hugePage) : RoundUp(bytes, smallPage);
}

// A fresh mapping of `size` bytes; sizes of whole huge pages start on a huge page boundary.
char* Map(std::size_t size) {
    const std::size_t slack = size >= hugePage ? hugePage : 0;
    void* raw =
        ::mmap(nullptr, size + slack, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (raw == MAP_FAILED)
        throw std::bad_alloc();
    auto* base = static_cast<char*>(raw);
    if (slack == 0)
        return base;
    // Trim the mapping to the aligned part.
    const auto address = reinterpret_cast<std::uintptr_t>(base);
    const std::size_t head = RoundUp(address, hugePage) - address;
    if (head > 0)
        ::munmap(base, head);
    if (slack - head > 0)
        ::munmap(base + head + size, slack - head);
    char* aligned = base + head;
    ::madvise(aligned, size, MADV_HUGEPAGE);
    return aligned;
}

} // namespace

BigBuffer::~BigBuffer() {
    if (m_data != nullptr)
        ::munmap(m_data, m_capacity);
}

void BigBuffer::Resize(std::size_t bytes) {
    if (bytes <= m_capacity)
        return;
    const std::size_t size = MappingSize(bytes);
    char* fresh = Map(size);
    if (m_data != nullptr) {
        // Move the old pages into the start of the new mapping: no byte is copied.
        void* moved =
            ::mremap(m_data, m_capacity, m_capacity, MREMAP_MAYMOVE | MREMAP_FIXED, fresh);
        if (moved == MAP_FAILED) {
            std::memcpy(fresh, m_data, m_capacity);
            ::munmap(m_data, m_capacity);
        }
    }
    m_data = fresh;
    m_capacity = size;
}

void BigBuffer::Shrink(std::size_t bytes) noexcept {
    if (bytes >= m_capacity)
        return;
    // A size that stays a whole number of huge pages keeps the rest of the mapping huge.
    const std::size_t keep = RoundUp(bytes, m_capacity >= hugePage ? hugePage : smallPage);
    if (keep >= m_capacity)
        return;
    if (keep == 0) {
        *this = BigBuffer();
        return;
    }
    // Shrinking in place never moves the mapping and never fails for want of memory.
    if (::munmap(m_data + keep, m_capacity - keep) == 0)
        m_capacity = keep;
}

} // namespace ini
