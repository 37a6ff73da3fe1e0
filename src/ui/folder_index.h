#pragma once

#include "parse/keywords.h"
#include "parse/node_key.h"
#include "parse/result.h"
#include "parse/worker.h"

#include <QObject>

#include <algorithm>
#include <atomic>
#include <bit>
#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace ini {

// One top-level definition as a file's record hands it out: its type and name as written, in
// one text ("Type Name") that lies in the record, and its line.
struct IndexedDefinition {
    std::string_view text;  // type, one space, name
    std::uint32_t typeSize; // bytes of the type at the start of text
    LineIndex line;         // 0-based
    std::string_view Type() const noexcept { return text.substr(0, typeSize); }
    std::string_view Name() const noexcept {
        return text.size() > typeSize ? text.substr(typeSize + 1) : std::string_view();
    }
};

class FileDefinitions;

// A hold on a file's record, shared by the snapshots that hold the file: the record goes with
// its last hold. The count of holds lies in the record itself, so a file costs one block of
// memory; a folder of many small files holds more files than definitions.
class FileRecord {
public:
    FileRecord() noexcept = default;
    FileRecord(const FileRecord& other) noexcept;
    FileRecord(FileRecord&& other) noexcept : m_file(std::exchange(other.m_file, nullptr)) {}
    FileRecord& operator=(FileRecord other) noexcept {
        std::swap(m_file, other.m_file);
        return *this;
    }
    ~FileRecord();

    const FileDefinitions* get() const noexcept { return m_file; }
    const FileDefinitions* operator->() const noexcept { return m_file; }
    const FileDefinitions& operator*() const noexcept { return *m_file; }
    explicit operator bool() const noexcept { return m_file != nullptr; }
    // The same record, as two holds of one file compare.
    friend bool operator==(const FileRecord&, const FileRecord&) = default;

private:
    friend class FileDefinitions;
    explicit FileRecord(FileDefinitions* file) noexcept : m_file(file) {}
    FileDefinitions* m_file = nullptr;
};

// What one file holds, never changed once made: a new read makes a new one. Its definitions,
// a filter of their names, their texts and its path lie right behind it in its one block of
// memory, each definition in 16 bytes and one or two bytes of the filter.
class FileDefinitions {
    // A definition as the block holds it: its text ends where the next one's starts.
    struct Stored {
        std::uint32_t textAt;
        std::uint32_t typeSize;
        LineIndex line;
    };
    static_assert(sizeof(Stored) == 16, "what the index holds per definition grew");

public:
    // `definitions`' texts lie side by side in `texts`, in file order. Throws std::length_error
    // when the texts of one file pass 4 GiB.
    static FileRecord Make(std::string_view path, std::span<const IndexedDefinition> definitions,
                           std::string_view texts);
    static FileRecord Make(std::string_view path, Failure failure);
    FileDefinitions(const FileDefinitions&) = delete;
    FileDefinitions& operator=(const FileDefinitions&) = delete;

    // As ListBlockFiles gives it (bytes).
    std::string_view Path() const noexcept {
        return {Block() + TablesBytes(m_count) + m_textsSize, m_pathSize};
    }

    // The definitions in file order, each made on reading.
    class DefinitionList {
    public:
        class Iterator {
        public:
            using value_type = IndexedDefinition;
            using difference_type = std::ptrdiff_t;
            IndexedDefinition operator*() const noexcept { return (*m_list)[m_at]; }
            Iterator& operator++() noexcept {
                ++m_at;
                return *this;
            }
            Iterator operator++(int) noexcept { return Iterator(m_list, m_at++); }
            friend bool operator==(const Iterator&, const Iterator&) = default;

        private:
            friend class DefinitionList;
            Iterator(const DefinitionList* list, std::size_t at) : m_list(list), m_at(at) {}
            const DefinitionList* m_list = nullptr;
            std::size_t m_at = 0;
        };

        std::size_t size() const noexcept { return m_count; }
        bool empty() const noexcept { return m_count == 0; }
        IndexedDefinition operator[](std::size_t i) const noexcept {
            const std::uint32_t end = i + 1 < m_count ? m_stored[i + 1].textAt : m_textsEnd;
            return {std::string_view(m_texts + m_stored[i].textAt, end - m_stored[i].textAt),
                    m_stored[i].typeSize, m_stored[i].line};
        }
        IndexedDefinition front() const noexcept { return (*this)[0]; }
        Iterator begin() const noexcept { return Iterator(this, 0); }
        Iterator end() const noexcept { return Iterator(this, m_count); }

    private:
        friend class FileDefinitions;
        const Stored* m_stored = nullptr;
        std::size_t m_count = 0;
        const char* m_texts = nullptr;
        std::uint32_t m_textsEnd = 0;
    };
    DefinitionList Definitions() const noexcept;

    // Whether some definition of the file may have a name of hash `nameHash` (NameHash): false
    // means none has. Go to definition asks every file of a folder, so this looks at the names'
    // hashes, not the names.
    bool MayDefine(std::uint32_t nameHash) const noexcept;
    static std::uint32_t NameHash(std::string_view name) noexcept;
    // Bytes of the longest name the file defines.
    std::size_t LongestName() const noexcept { return m_longestName; }

    // The file could not be read (then it has no definitions); rare, so held apart.
    std::unique_ptr<const Failure> failure;

private:
    friend class FileRecord;
    FileDefinitions(std::size_t count, std::size_t textsSize, std::size_t pathSize);
    // A record with room behind it for `count` definitions and `textsSize` bytes of texts, and
    // `path` copied in; throws std::length_error past 4 GiB.
    static FileDefinitions* Allocate(std::size_t count, std::size_t textsSize,
                                     std::string_view path);
    // The filter of `count` names: 8 to 16 bits a name (64 at least), which lets about one word
    // in a hundred that no name has pass, and a power of two, so a bit's place is a mask away.
    static constexpr std::size_t FilterBytes(std::size_t count) noexcept {
        return count == 0 ? 0 : std::max<std::size_t>(8, std::bit_ceil(count));
    }
    // What the table of `count` definitions and the filter of their names take: the texts follow.
    static constexpr std::size_t TablesBytes(std::size_t count) noexcept {
        return count * sizeof(Stored) + FilterBytes(count);
    }
    // A Bloom filter of the names' hashes, behind the definitions' table: each name sets
    // filterProbes bits (FilterBit), and a name whose bits are not all set is defined nowhere in
    // the file.
    static constexpr int filterProbes = 4;
    static std::size_t FilterBit(std::uint32_t nameHash, int probe, std::size_t bits) noexcept {
        // Double hashing: the second hash is the first turned round, made odd so that it steps
        // through every bit.
        const std::uint64_t step = std::rotl(nameHash, 16) | 1u;
        return static_cast<std::size_t>((nameHash + probe * step) & (bits - 1));
    }
    const unsigned char* Filter() const noexcept {
        return reinterpret_cast<const unsigned char*>(Block() + m_count * sizeof(Stored));
    }
    // The definitions, their names' filter, their texts and the path, right behind the record.
    const char* Block() const noexcept { return reinterpret_cast<const char*>(this + 1); }
    char* Block() noexcept { return reinterpret_cast<char*>(this + 1); }

    mutable std::atomic<std::uint32_t> m_holds{1};
    std::uint32_t m_count = 0;
    std::uint32_t m_textsSize = 0;
    std::uint32_t m_pathSize = 0;
    std::uint32_t m_longestName = 0;
};

// The index at one moment, never changed once made; copying one is copying pointers.
struct FolderIndexState {
    std::string folder;
    std::vector<FileRecord> files;       // in path byte order; read so far
    std::vector<Failure> folderFailures; // folders that could not be listed
    // Folders whose changes are not followed, as the system refused to watch them (its limit of
    // watches reached, say), and the first refusal's reason.
    std::size_t unfollowed = 0;
    std::string unfollowedReason;
    std::size_t filesTotal = 0; // files found; files.size() of them read so far
    bool complete = false;      // the first build is done
    // Once it is: files changed on disk that are still to be read again.
    std::size_t changesToRead = 0;
};
using FolderIndexSnapshot = std::shared_ptr<const FolderIndexState>;

// The definitions of every block file of a folder tree, gathered on a thread of its own so the
// window never waits, and kept up to date as the folder changes. While the first build runs it
// sends progress at most about every 50 ms, never while the owner has not yet taken the state
// before; once built it follows the tree through inotify and reads again only the files that
// changed, each once its events have settled. Without a thread the same work runs on the
// owner's thread in short rounds.
class FolderIndex : public QObject {
    Q_OBJECT

public:
    explicit FolderIndex(const Keywords& keywords, QObject* parent = nullptr,
                         Threading threading = Threading::OwnThread);
    // Stops the work promptly, even in the middle of a build.
    ~FolderIndex() override;

    // Starts over on `folder` (bytes); an empty one indexes nothing. From here on the snapshot
    // is of this folder: nothing of the one before is delivered.
    void Open(std::string folder);
    const std::string& Folder() const noexcept { return m_folder; }
    // Never null: an empty state before anything was read.
    FolderIndexSnapshot Snapshot() const noexcept { return m_snapshot; }

signals:
    // A new snapshot is there: progress while building, the complete one, a file read again.
    void changed();

private:
    class Indexer;
    void Deliver(FolderIndexSnapshot snapshot);

    std::unique_ptr<Indexer> m_indexer;
    std::string m_folder;
    FolderIndexSnapshot m_snapshot;
};

} // namespace ini
